#pragma once

#include <QComboBox>
#include <array>
#include <string>

#include "ui/common/dark_dialog.h"

class QLabel;
class QPushButton;

namespace tavu {

class Clock;
class SettingsStore;

// A drop-down list that tells when its list closes, whether or not the choice changed. The
// signal comes after the choice made in the list has been taken.
class CloseUpComboBox : public QComboBox {
    Q_OBJECT

  public:
    using QComboBox::QComboBox;
    void showPopup() override;
    void hidePopup() override;

    // True from the opening of the list until closedUp has been sent.
    bool listOpen() const { return open_; }

  signals:
    void closedUp();

  private:
    bool open_ = false;
    bool closing_ = false;
};

// The "Summary" window: the totals of the log over the period chosen in "Filter".
class CSummaryDlg : public DarkDialog {
    Q_OBJECT

  public:
    CSummaryDlg(SettingsStore& settings, std::string configDir, const Clock& clock,
                QWidget* parent = nullptr);

    // Shows the window modally until it is closed; returns the dialog's result.
    static int run(SettingsStore& settings, const std::string& configDir, const Clock& clock,
                   QWidget* parent = nullptr);

    // Stores the chosen filter, runs the totals pass and shows its values.
    void refresh();

    // Lines 0 to 7: the eight values; 8 and 9: the projection, shown only with the period filter.
    QString valueText(int line) const;
    QLabel* valueLabel(int line) const { return values_[static_cast<std::size_t>(line)]; }
    CloseUpComboBox* filterBox() const { return filter_; }
    QComboBox* usersBox() const { return users_; }
    QPushButton* hideButton() const { return hide_; }

    static constexpr int kLines = 8;
    static constexpr int kProjectionLines = 2;
    // Whether the projection's line (0 or 1) is shown.
    bool projectionShown(int line) const;

  private:
    void storeFilter();
    void hideWindow();

    SettingsStore& settings_;
    std::string configDir_;
    const Clock& clock_;
    std::array<QLabel*, kLines + kProjectionLines> values_{};
    std::array<QLabel*, kProjectionLines> projectionLabels_{};
    CloseUpComboBox* filter_;
    QComboBox* users_;
    QPushButton* hide_;
};

}  // namespace tavu
