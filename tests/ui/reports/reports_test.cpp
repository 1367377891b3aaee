#include <gtest/gtest.h>

#include <unistd.h>
#include <QAbstractItemView>
#include <QApplication>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QDate>
#include <QFileInfo>
#include <QHeaderView>
#include <QImage>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QLabel>
#include <QLegend>
#include <QLineSeries>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QValueAxis>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/cli.h"
#include "core/clock.h"
#include "core/prompter.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "ledger/usage_ledger.h"
#include "log/connection_journal.h"
#include "log/log_date.h"
#include "log/log_file.h"
#include "log/log_record.h"
#include "monitor/monitor_core.h"
#include "reports/report_rows.h"
#include "support/modal_driver.h"
#include "support/monitor_rig.h"
#include "support/null_view.h"
#include "support/temp_dir.h"
#include "tariff/totals.h"
#include "ui/common/dialog_units.h"
#include "ui/reports/live_usage.h"
#include "ui/reports/report_dlg.h"
#include "ui/reports/summary_dlg.h"
#include "ui/reports/usage_chart.h"
#include "usage/usage_store.h"

namespace tavu {
namespace {

using test::writeFile;

std::string record(const char* date, const char* start, const char* end, const char* user = "joe",
                   const char* sent = "100", const char* received = "200") {
    return std::string(date) + "|" + start + "|" + date + "|" + end + "|" + user + "|ttyS0|ISP|" +
           sent + "|" + received + "|\r\n";
}

QString shortDate(int year, int month, int day) {
    return QLocale::system().toString(QDate(year, month, day), QLocale::ShortFormat);
}

using test::ModalDriver;

class Reports : public ::testing::Test {
  protected:
    void setTariff(const char* perDial, const char* perMinute) {
        settings.writeString(keys::kPrice, "PricePerDial", perDial);
        settings.writeString(keys::kPrice, "CostPerMinute", perMinute);
    }
    std::string log() const { return dir.file("logfile.log"); }
    int storedFilter() const { return settings.readInt(keys::kSettings, keys::kSummaryWhen, -9); }

    // All cells of the report as the window shows them.
    static std::vector<QStringList> shown(const ReportModel& model) {
        std::vector<QStringList> rows;
        for (int r = 0; r < model.rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < model.columnCount(); ++c) {
                cells << model.data(model.index(r, c)).toString();
            }
            rows.push_back(cells);
        }
        return rows;
    }

    // The rows of `tavu report`, the date written as the window writes it.
    std::vector<QStringList> commandLineRows() const {
        CommandLine c;
        c.mode = CommandLine::Mode::Report;
        c.configDir = dir.path();
        std::ostringstream out, err;
        EXPECT_EQ(runTextCommand(c, out, err, clock, dir.path()), 0);
        std::vector<QStringList> rows;
        std::istringstream in(out.str());
        std::string line;
        std::getline(in, line);  // headings
        while (std::getline(in, line)) {
            QStringList cells = QString::fromStdString(line).split(QLatin1Char('\t'));
            cells[0] = ReportModel::displayDate(cells[0].toStdString(), QLocale::system());
            rows.push_back(cells);
        }
        return rows;
    }

    test::TempDir dir;
    SettingsStore settings{dir.file("tavu.ini")};
    ManualClock clock{fromLocal(2024, 5, 3, 12)};
};

TEST_F(Reports, ReportListsTheNewestRecordFirstWithTheCommandLinesCells) {
    setTariff("0.5000000000", "0.1000000000");
    settings.writeString(keys::kPrice, "MinConTime", "00:01");
    writeFile(log(), record("01-05-2024", "10:00:00", "10:30:00") +
                         record("02-05-2024", "23:50:00", "00:10:00", "") +
                         record("03-05-2024", "08:00:00", "08:00:00", "ann", "5", "6"));
    CReportDlg dlg(settings, dir.path(), clock);
    const std::vector<QStringList> rows = shown(*dlg.model());
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (QStringList{shortDate(2024, 5, 3), "08:00:00", "08:00:00", "00:00:00",
                                    "ann", "ttyS0", "ISP", "5", "6", "0.60"}));
    // An empty user keeps its column empty; the midnight wrap gives twenty minutes.
    EXPECT_EQ(rows[1], (QStringList{shortDate(2024, 5, 2), "23:50:00", "00:10:00", "00:20:00", "",
                                    "ttyS0", "ISP", "100", "200", "2.50"}));
    EXPECT_EQ(rows[2][0], shortDate(2024, 5, 1));
    EXPECT_EQ(rows, commandLineRows());

    EXPECT_EQ(dlg.windowTitle(), "Report");
    // At least the designed size, wider where the ten columns need it.
    EXPECT_GE(dlg.width(), dluX(420));
    EXPECT_EQ(dlg.height(), dluY(165));
    QStringList headings;
    for (int c = 0; c < dlg.model()->columnCount(); ++c) {
        headings << dlg.model()->headerData(c, Qt::Horizontal).toString();
    }
    EXPECT_EQ(headings, (QStringList{"Date", "Start time", "End time", "Duration", "User", "Device",
                                     "ISP", "Uploaded", "Downloaded", "Price"}));
    EXPECT_EQ(dlg.hideButton()->text(), "&Hide");
    EXPECT_EQ(dlg.summaryButton()->text(), "Summary");

    // A heading that is clicked sorts the list by its column; clicked again, the other way.
    dlg.show();
    QHeaderView* header = dlg.list()->horizontalHeader();
    EXPECT_TRUE(header->sectionsClickable());
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(9) + 5, header->height() / 2));
    EXPECT_EQ(shown(*dlg.model())[0][9], "0.60");
    EXPECT_EQ(shown(*dlg.model())[2][9], "3.50");
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(9) + 5, header->height() / 2));
    EXPECT_EQ(shown(*dlg.model())[0][9], "3.50");
}

TEST_F(Reports, ReopeningTheReportPricesEveryRowWithTheNewTariff) {
    setTariff("0.5000000000", "0.1000000000");
    writeFile(log(), record("01-05-2024", "10:00:00", "10:10:00") +
                         record("02-05-2024", "10:00:00", "10:20:00"));
    {
        CReportDlg dlg(settings, dir.path(), clock);
        EXPECT_EQ(dlg.model()->cellText(0, 9), "2.50");
        EXPECT_EQ(dlg.model()->cellText(1, 9), "1.50");
    }
    setTariff("1.0000000000", "0.2000000000");
    CReportDlg dlg(settings, dir.path(), clock);
    EXPECT_EQ(dlg.model()->cellText(0, 9), "5.00");
    EXPECT_EQ(dlg.model()->cellText(1, 9), "3.00");
    EXPECT_EQ(shown(*dlg.model()), commandLineRows());
}

TEST_F(Reports, AMalformedLogStillShowsEveryReadableRow) {
    const std::string lines[] = {
        record("01-05-2024", "10:00:00", "10:01:00"),
        "\r\n",
        "||||||||||\r\n",
        "garbage without separators\r\n",
        "31-02-2024|xx:yy:zz|31-02-2024|10:00:00|<b>bold</b>|dev|isp|abc|-5|\r\n",
        "02-05-2024|10:00:00|\r\n",
        std::string("\x01\xff\xfe|\x80\0|\r\n", 9),  // binary bytes and a NUL
        "03-05-2024|10:00:00|03-05-2024|10:00:30|a|b|c|1|2|extra|fields|\r\n",
        std::string(20000, 'z') + "\r\n",
        record("04-05-2024", "10:00:00", "10:02:00"),
    };
    std::string content;
    for (const std::string& l : lines) {
        content += l;
    }
    writeFile(log(), content);
    CReportDlg dlg(settings, dir.path(), clock);
    const std::vector<QStringList> rows = shown(*dlg.model());
    ASSERT_EQ(rows.size(), 8u);  // all but the empty and the separator-only line
    // The terminal gets the same rows with blanks for their control characters.
    std::vector<QStringList> printable = rows;
    for (QStringList& row : printable) {
        for (QString& cell : row) {
            for (QChar& c : cell) {
                const char16_t u = c.unicode();
                c = u < 0x20 || (u >= 0x7F && u < 0xA0) ? QLatin1Char(' ') : c;
            }
        }
    }
    EXPECT_EQ(printable, commandLineRows());
    EXPECT_EQ(rows[0][0], shortDate(2024, 5, 4));
    EXPECT_EQ(rows[2][6], "c");
    EXPECT_EQ(rows[2][9], "0.00");
    // A date that is none is shown as stored; markup in a field is text.
    EXPECT_EQ(rows[5][0], "31-02-2024");
    EXPECT_EQ(rows[5][4], "<b>bold</b>");
    EXPECT_EQ(rows[4][0], shortDate(2024, 5, 2));
    EXPECT_EQ(rows[4][4], "");
    EXPECT_EQ(rows[6][0], "garbage without separators");
    EXPECT_EQ(rows[1][0].size(), 16384);  // cut as the readers cut it
    EXPECT_EQ(rows[3][0], QString::fromUtf8("\x01\xff\xfe"));
}

TEST_F(Reports, NoLogGivesAnEmptyListAndZerosWithoutAMessage) {
    for (const bool exists : {false, true}) {
        SCOPED_TRACE(exists ? "empty log" : "no log");
        if (exists) {
            writeFile(log(), "");
        }
        bool message = false;
        ModalDriver driver([&](QDialog* modal) {
            message = qobject_cast<QMessageBox*>(modal) != nullptr;
            if (auto* summary = qobject_cast<CSummaryDlg*>(modal)) {
                QStringList values;
                for (int i = 0; i < CSummaryDlg::kLines; ++i) {
                    values << summary->valueText(i);
                }
                EXPECT_EQ(values,
                          (QStringList{"0", "00:00:00", "0.00", "0", "00:00:00", "0", "0", "0"}));
                QTest::mouseClick(summary->hideButton(), Qt::LeftButton);
            } else if (auto* report = qobject_cast<CReportDlg*>(modal)) {
                EXPECT_EQ(report->model()->rowCount(), 0);
                // Outside the driver's own call, so that it sees the Summary window come.
                QTimer::singleShot(0, report, [report] {
                    QTest::mouseClick(report->summaryButton(), Qt::LeftButton);
                    QTest::mouseClick(report->hideButton(), Qt::LeftButton);
                });
            }
        });
        EXPECT_EQ(CReportDlg::run(settings, dir.path(), clock, nullptr), QDialog::Accepted);
        EXPECT_EQ(driver.seen(), (QStringList{"Report", "Summary"}));
        EXPECT_FALSE(message);
    }
}

TEST_F(Reports, SummaryButtonOpensTheSummaryAndLeavesTheReportAsItWas) {
    writeFile(log(), record("01-05-2024", "10:00:00", "10:10:00") +
                         record("02-05-2024", "10:00:00", "10:20:00"));
    CReportDlg dlg(settings, dir.path(), clock);
    dlg.show();
    dlg.list()->selectRow(1);
    const std::vector<QStringList> before = shown(*dlg.model());
    QString count;
    ModalDriver driver([&](QDialog* modal) {
        if (auto* summary = qobject_cast<CSummaryDlg*>(modal)) {
            EXPECT_EQ(summary->parentWidget(), &dlg);
            count = summary->valueText(0);
            // A record that comes while the report is open is not added to its list.
            std::ofstream(log(), std::ios::app) << record("03-05-2024", "10:00:00", "10:20:00");
            QTest::mouseClick(summary->hideButton(), Qt::LeftButton);
        }
    });
    QTest::mouseClick(dlg.summaryButton(), Qt::LeftButton);
    EXPECT_EQ(driver.seen(), QStringList{"Summary"});
    EXPECT_EQ(count, "2");
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(shown(*dlg.model()), before);
    EXPECT_EQ(dlg.list()->selectionModel()->selectedRows().value(0).row(), 1);
    QTest::mouseClick(dlg.hideButton(), Qt::LeftButton);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
}

TEST_F(Reports, RowsAreGreyWithDarkTextAndTheSelectedRowGreenAcrossTheWidth) {
    std::string content;
    for (int i = 1; i <= 5; ++i) {
        content += record("01-05-2024", "10:00:00", "10:10:00");
    }
    writeFile(log(), content);
    CReportDlg dlg(settings, dir.path(), clock);
    dlg.resize(900, 300);  // wider than the columns
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    CListViewEx* list = dlg.list();
    list->selectRow(1);
    QApplication::processEvents();
    const QImage image = list->viewport()->grab().toImage();
    const QRect row0 = list->visualRect(dlg.model()->index(0, 0));
    const QRect row1 = list->visualRect(dlg.model()->index(1, 0));
    const int right = list->viewport()->width() - 2;
    const auto colourAt = [&](int x, int y) { return QColor(image.pixel(x, y)); };

    EXPECT_EQ(colourAt(right, row0.center().y()), QColor(150, 150, 150));
    EXPECT_EQ(colourAt(2, row1.center().y()), QColor(159, 255, 0));
    EXPECT_EQ(colourAt(right, row1.center().y()), QColor(159, 255, 0));
    EXPECT_EQ(colourAt(right, row1.top()), QColor(159, 255, 0));
    EXPECT_EQ(colourAt(right, list->viewport()->height() - 2), QColor(150, 150, 150));
    // The text is drawn dark grey: its darkest pixels have that colour and none is darker.
    int darkest = 255;
    bool dark = false;
    for (int x = 0; x < row0.right(); ++x) {
        for (int y = row0.top(); y <= row0.bottom(); ++y) {
            const QColor c = colourAt(x, y);
            darkest = std::min(darkest, c.red());
            dark = dark || c == CListViewEx::kTextColour;
        }
    }
    EXPECT_EQ(darkest, CListViewEx::kTextColour.red());
    EXPECT_TRUE(dark);

    // The selection stays visible when the list loses the focus.
    dlg.hideButton()->setFocus();
    const QImage unfocused = list->viewport()->grab().toImage();
    EXPECT_EQ(QColor(unfocused.pixel(right, row1.center().y())), QColor(159, 255, 0));
}

// The rows' text reads at a contrast of at least 4.5:1 (the WCAG formula), selected or not.
TEST(ReportColours, RowTextHasAContrastOfAtLeastFourAndAHalf) {
    const auto luminance = [](const QColor& c) {
        const auto channel = [](int v) {
            const double s = v / 255.0;
            return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
    };
    const auto contrast = [&](const QColor& a, const QColor& b) {
        const double la = luminance(a), lb = luminance(b);
        return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
    };
    EXPECT_NEAR(contrast(QColor(150, 150, 150), QColor(50, 50, 50)), 4.33, 0.01);  // the formula
    EXPECT_GE(contrast(CListViewEx::kRowColour, CListViewEx::kTextColour), 4.5);
    EXPECT_GE(contrast(CListViewEx::kSelectedColour, CListViewEx::kTextColour), 4.5);
}

TEST_F(Reports, ColumnsAreAsWideAsTheirWidestSampledCell) {
    writeFile(log(), record("01-05-2024", "10:00:00", "10:10:00", "a-rather-long-user-name") +
                         record("02-05-2024", "10:00:00", "10:10:00"));
    CReportDlg dlg(settings, dir.path(), clock);
    const QFontMetrics fm(dlg.list()->font());
    const int userWidth = dlg.list()->columnWidth(4);
    EXPECT_GE(userWidth, fm.horizontalAdvance("a-rather-long-user-name"));
    EXPECT_GE(dlg.list()->columnWidth(1), fm.horizontalAdvance("Start time"));
    EXPECT_GT(userWidth, dlg.list()->columnWidth(5));
}

TEST_F(Reports, UserAndIspShowWholeAndWidenWithTheWindow) {
    writeFile(log(), record("01-05-2024", "10:00:00", "10:10:00", "root"));
    CReportDlg dlg(settings, dir.path(), clock);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    CListViewEx* list = dlg.list();
    const QFontMetrics fm(list->font());
    const int pad = 2 * CListViewEx::kCellPadding;
    EXPECT_GE(list->columnWidth(4), fm.horizontalAdvance("root") + pad);
    EXPECT_GE(list->columnWidth(6), fm.horizontalAdvance(dlg.model()->cellText(0, 6)) + pad);
    const int user = list->columnWidth(4);
    const int isp = list->columnWidth(6);
    const int date = list->columnWidth(0);
    dlg.resize(dlg.width() + 300, dlg.height());
    QApplication::processEvents();
    EXPECT_GT(list->columnWidth(4), user);
    EXPECT_GT(list->columnWidth(6), isp);
    EXPECT_EQ(list->columnWidth(0), date);
    EXPECT_EQ(list->columnsWidth(), list->viewport()->width());
}

TEST_F(Reports, CellsFitTheirColumnsInTheListsFontAllTenShowAndFiguresAlignRight) {
    writeFile(log(), record("06-12-2024", "10:00:00", "10:10:00", "root", "123456789", "987654"));
    CReportDlg dlg(settings, dir.path(), clock);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    CListViewEx* list = dlg.list();
    QApplication::processEvents();
    // At the opening size every column is in the window: nothing to scroll sideways.
    EXPECT_EQ(list->horizontalScrollBar()->maximum(), 0);
    EXPECT_GE(dlg.width(), list->columnsWidth());

    // The font grows while the window is open (a font setting, another screen's scale).
    QFont big = list->font();
    big.setPixelSize(QFontInfo(big).pixelSize() * 2);
    list->setFont(big);
    const QFontMetrics fm(big, list);
    for (int c = 0; c < ReportModel::kColumns; ++c) {
        const QString text = dlg.model()->cellText(0, c);
        EXPECT_LE(fm.horizontalAdvance(text) + 2 * CListViewEx::kCellPadding, list->columnWidth(c))
            << text.toStdString();
    }

    // Figures hug the right edge of their column, words the left.
    list->setFont(QFont(big.family(), 10));
    QApplication::processEvents();
    const QImage image = list->viewport()->grab().toImage();
    auto inkSpan = [&](int column) {
        const QRect cell = list->visualRect(dlg.model()->index(0, column));
        int first = -1, last = -1;
        for (int x = cell.left(); x <= cell.right(); ++x) {
            for (int y = cell.top(); y <= cell.bottom(); ++y) {
                if (QColor(image.pixel(x, y)).red() < 120) {
                    first = first < 0 ? x - cell.left() : first;
                    last = x - cell.left();
                }
            }
        }
        return std::make_pair(first, cell.width() - 1 - last);
    };
    for (const int figure : {3, 7, 8}) {
        EXPECT_LE(inkSpan(figure).second, CListViewEx::kCellPadding + 2) << figure;
    }
    EXPECT_LE(inkSpan(4).first, CListViewEx::kCellPadding + 2);
    EXPECT_EQ(
        dlg.model()->headerData(9, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>() &
            Qt::AlignRight,
        Qt::AlignRight);
}

TEST_F(Reports, ExportWritesTheListsRowsAsTheCommandLinesCsv) {
    setTariff("0.5000000000", "0.1000000000");
    writeFile(log(), record("01-05-2024", "10:00:00", "10:30:00", "a \"b\", c") +
                         record("02-05-2024", "23:50:00", "00:10:00", "\xff\x01"));
    CReportDlg dlg(settings, dir.path(), clock);
    ScriptedFileChooser chooser;
    ScriptedPrompter prompter;
    dlg.useDialogs(chooser, prompter);
    EXPECT_EQ(dlg.exportButton()->text(), QString::fromUtf8("Export\u2026"));

    const std::string csv = dir.file("out.csv");
    chooser.answers = {csv};
    QTest::mouseClick(dlg.exportButton(), Qt::LeftButton);
    ASSERT_EQ(chooser.asked.size(), 1u);
    CommandLine c;
    c.mode = CommandLine::Mode::Report;
    c.format = ReportFormat::Csv;
    c.configDir = dir.path();
    std::ostringstream out, err;
    EXPECT_EQ(runTextCommand(c, out, err, clock, dir.path()), 0);
    EXPECT_EQ(test::readFile(csv), out.str());
    EXPECT_NE(out.str().find("2024-05-02,23:50:00,00:10:00,00:20:00,1200,\xef\xbf\xbd ,"),
              std::string::npos);

    // Cancelled: nothing is written. A folder that is not there: a message, and no file.
    QTest::mouseClick(dlg.exportButton(), Qt::LeftButton);
    EXPECT_EQ(chooser.asked.size(), 2u);
    EXPECT_TRUE(prompter.shown.empty());
    chooser.answers = {dir.file("missing/out.csv")};
    QTest::mouseClick(dlg.exportButton(), Qt::LeftButton);
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(
        prompter.shown[0].text.rfind("Cannot write the file " + dir.file("missing/out.csv"), 0),
        0u);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(dir.file("missing/out.csv"))));
}

// A name ending in .json gets the command's JSON, whatever column the list is sorted by; the
// chooser offers both forms.
TEST_F(Reports, ExportWritesTheCommandsJsonForAJsonName) {
    setTariff("0.5000000000", "0.1000000000");
    settings.writeString(keys::kPrice, "CostPerMB", "0.2000000000");
    writeFile(log(), record("01-05-2024", "10:00:00", "10:30:00", "a \"b\"\t") +
                         record("02-05-2024", "23:50:00", "00:10:00", "joe", "900000", "5"));
    CReportDlg dlg(settings, dir.path(), clock);
    const std::string json = dir.file("report.JSON");
    struct Chooser final : FileChooser {
        std::string saveFileName(const std::string&, const std::string&,
                                 const std::string& offered) override {
            filter = offered;
            return answer;
        }
        std::string answer, filter;
    } chooser;
    chooser.answer = json;
    ScriptedPrompter prompter;
    dlg.useDialogs(chooser, prompter);
    dlg.model()->sort(9, Qt::AscendingOrder);
    QTest::mouseClick(dlg.exportButton(), Qt::LeftButton);
    EXPECT_NE(chooser.filter.find("(*.json)"), std::string::npos);
    EXPECT_NE(chooser.filter.find("(*.csv)"), std::string::npos);

    CommandLine c;
    c.mode = CommandLine::Mode::Report;
    c.format = ReportFormat::Json;
    c.configDir = dir.path();
    std::ostringstream out, err;
    EXPECT_EQ(runTextCommand(c, out, err, clock, dir.path()), 0);
    const std::string written = test::readFile(json);
    EXPECT_EQ(written, out.str());
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(written), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    ASSERT_TRUE(doc.isObject());
    EXPECT_TRUE(prompter.shown.empty());
    EXPECT_EQ(exportFormatFor("a.csv"), ReportFormat::Csv);
    EXPECT_EQ(exportFormatFor("a.json.txt"), ReportFormat::Csv);
    EXPECT_EQ(exportFormatFor("report"), ReportFormat::Csv);
}

// A link another user planted in a shared folder where the user exports: refused with the
// reason, and the file it points to is unchanged.
TEST_F(Reports, ExportRefusesALinkAtTheChosenName) {
    writeFile(log(), record("01-05-2024", "10:00:00", "10:30:00"));
    writeFile(dir.file("important"), "keep");
    const std::string planted = dir.file("out.csv");
    ASSERT_EQ(::symlink(dir.file("important").c_str(), planted.c_str()), 0);
    CReportDlg dlg(settings, dir.path(), clock);
    ScriptedFileChooser chooser;
    ScriptedPrompter prompter;
    dlg.useDialogs(chooser, prompter);
    chooser.answers = {planted};
    QTest::mouseClick(dlg.exportButton(), Qt::LeftButton);
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text,
              "Cannot write the file " + planted + ": it is a symbolic link.");
    EXPECT_EQ(test::readFile(dir.file("important")), "keep");
}

class Summary : public Reports {
  protected:
    QStringList values(const CSummaryDlg& dlg) const {
        QStringList v;
        for (int i = 0; i < CSummaryDlg::kLines; ++i) {
            v << dlg.valueText(i);
        }
        return v;
    }
    static QStringList expected(const LogTotals& totals) {
        QStringList v;
        for (const SummaryLine& l : summaryLines(totals)) {
            v << QString::fromStdString(l.value);
        }
        return v;
    }
    // Opens the filter's list and closes it with the entry chosen by a click.
    static void choose(CSummaryDlg& dlg, int entry) {
        CloseUpComboBox* box = dlg.filterBox();
        box->showPopup();
        QAbstractItemView* view = box->view();
        ASSERT_TRUE(view->isVisible());
        const QRect r = view->visualRect(view->model()->index(entry, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, r.center());
        QApplication::processEvents();
        ASSERT_FALSE(view->isVisible());
    }
};

TEST_F(Summary, ShowsTheTotalsOfTheStoredFilterWithTheirLabels) {
    setTariff("0.5000000000", "0.1000000000");
    writeFile(log(), record("03-05-2024", "10:00:00", "10:01:40", "joe", "10", "20") +
                         record("03-05-2023", "10:00:00", "10:01:41", "joe", "1", "2"));
    settings.writeInt(keys::kSettings, keys::kSummaryWhen, 0);
    CSummaryDlg dlg(settings, dir.path(), clock);
    EXPECT_EQ(dlg.windowTitle(), "Summary");
    // The designed size, taller by the charts under the values.
    EXPECT_GE(dlg.width(), dluX(253));
    EXPECT_EQ(dlg.height(), dluY(134) + dlg.chartTabs()->minimumSizeHint().height());
    EXPECT_EQ(values(dlg),
              (QStringList{"2", "00:03:21", "1.33", "0.67", "00:01:40", "11", "22", "33"}));
    EXPECT_EQ(values(dlg),
              expected(computeTotals(settings, log(), SummaryFilter::All, clock.localNow())));
    QStringList labels;
    for (int i = 0; i < CSummaryDlg::kLines; ++i) {
        const auto* grid = dlg.valueLabel(i)->parentWidget();
        ASSERT_EQ(grid, &dlg);
        EXPECT_TRUE(dlg.valueLabel(i)->alignment().testFlag(Qt::AlignRight));
        EXPECT_EQ(dlg.valueLabel(i)->textFormat(), Qt::PlainText);
    }
    for (const QLabel* l : dlg.findChildren<QLabel*>()) {
        labels << l->text();
    }
    for (const char* label :
         {"Connections", "Total time online", "Total cost", "Average cost per connection",
          "Average connection lenght", "Total data uploaded", "Total data downloaded",
          "Total data transmitted", "Filter", "Users"}) {
        EXPECT_TRUE(labels.contains(label)) << label;
    }
    EXPECT_TRUE(dlg.hideButton()->isDefault());
    EXPECT_EQ(dlg.hideButton()->text(), "Hide");
}

TEST_F(Summary, NothingInThePeriodShowsZeroAverages) {
    writeFile(log(), record("01-04-2024", "10:00:00", "10:01:40"));
    settings.writeInt(keys::kSettings, keys::kSummaryWhen, 2);
    CSummaryDlg dlg(settings, dir.path(), clock);
    EXPECT_EQ(dlg.filterBox()->currentText(), "Only today");
    EXPECT_EQ(values(dlg), (QStringList{"0", "00:00:00", "0.00", "0", "00:00:00", "0", "0", "0"}));
}

TEST_F(Summary, ProjectsTheBillingPeriodOnlyWithItsFilter) {
    settings.writeInt(keys::kSettings, keys::kBillingDay, 3);
    settings.writeString(keys::kPrice, keys::kCostPerMB, "1");
    writeFile(log(), record("03-05-2024", "10:00:00", "10:01:40", "joe", "500000", "500000") +
                         record("02-05-2024", "10:00:00", "10:01:40", "joe", "9000000", "0"));
    settings.writeInt(keys::kSettings, keys::kSummaryWhen, 1);
    CSummaryDlg dlg(settings, dir.path(), clock);
    dlg.show();
    EXPECT_EQ(dlg.filterBox()->itemText(1), "Only this period");
    // 12 hours of a period of 31 days (3 May to 3 June) have passed.
    EXPECT_EQ(dlg.valueText(2), "1.00");
    ASSERT_TRUE(dlg.projectionShown(0) && dlg.projectionShown(1));
    EXPECT_EQ(dlg.valueText(CSummaryDlg::kLines), "62.00");
    EXPECT_EQ(dlg.valueText(CSummaryDlg::kLines + 1), "62000000");
    choose(dlg, 0);
    EXPECT_EQ(dlg.valueText(2), "10.00");
    EXPECT_FALSE(dlg.projectionShown(0) || dlg.projectionShown(1));
}

TEST_F(Summary, FilterIsStoredAndAppliedEachTimeItsListCloses) {
    writeFile(log(), record("03-05-2024", "10:00:00", "10:01:00") +
                         record("01-05-2024", "10:00:00", "10:01:00") +
                         record("03-04-2024", "10:00:00", "10:01:00"));
    CSummaryDlg dlg(settings, dir.path(), clock);
    dlg.show();
    EXPECT_EQ(storedFilter(), 0);  // written when the window opens
    EXPECT_EQ(dlg.valueText(0), "3");

    choose(dlg, 1);
    EXPECT_EQ(storedFilter(), 1);
    EXPECT_EQ(dlg.valueText(0), "2");
    choose(dlg, 2);
    EXPECT_EQ(storedFilter(), 2);
    EXPECT_EQ(dlg.valueText(0), "1");

    // Closing the list on the same entry stores and refreshes all the same.
    settings.writeInt(keys::kSettings, keys::kSummaryWhen, 0);
    std::ofstream(log(), std::ios::app) << record("03-05-2024", "11:00:00", "11:01:00");
    choose(dlg, 2);
    EXPECT_EQ(storedFilter(), 2);
    EXPECT_EQ(dlg.valueText(0), "2");

    // So does a list closed without a choice.
    settings.writeInt(keys::kSettings, keys::kSummaryWhen, 0);
    std::ofstream(log(), std::ios::app) << record("03-05-2024", "12:00:00", "12:01:00");
    dlg.filterBox()->showPopup();
    QTest::keyClick(dlg.filterBox()->view(), Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_FALSE(dlg.filterBox()->view()->isVisible());
    EXPECT_EQ(storedFilter(), 2);
    EXPECT_EQ(dlg.valueText(0), "3");

    // A choice made with the keys while the list is closed counts too.
    QTest::keyClick(dlg.filterBox(), Qt::Key_Up);
    EXPECT_EQ(storedFilter(), 1);
    EXPECT_EQ(dlg.valueText(0), "4");
}

TEST_F(Summary, HideStoresTheFilterAndUsersIsNeverStored) {
    settings.writeInt(keys::kSettings, keys::kSummaryWhen, 1);
    CSummaryDlg dlg(settings, dir.path(), clock);
    dlg.show();
    EXPECT_EQ(dlg.filterBox()->currentIndex(), 1);
    EXPECT_EQ(dlg.usersBox()->count(), 1);
    EXPECT_EQ(dlg.usersBox()->currentText(), "Show all users");
    EXPECT_EQ(dlg.filterBox()->count(), 3);
    EXPECT_EQ(dlg.filterBox()->itemText(0), "Show all entries");
    EXPECT_EQ(dlg.filterBox()->itemText(1), "Only this month");

    dlg.filterBox()->setCurrentIndex(2);  // not through the list: nothing stored yet
    EXPECT_EQ(storedFilter(), 1);
    QTest::mouseClick(dlg.hideButton(), Qt::LeftButton);
    EXPECT_EQ(storedFilter(), 2);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(settings.readString(keys::kSettings, keys::kSummaryUsers, "absent"), "absent");

    // Closed otherwise (Escape), the window stores nothing.
    CSummaryDlg again(settings, dir.path(), clock);
    again.show();
    again.filterBox()->setCurrentIndex(0);
    QTest::keyClick(&again, Qt::Key_Escape);
    EXPECT_FALSE(again.isVisible());
    EXPECT_EQ(storedFilter(), 2);

    // Enter presses the default button.
    CSummaryDlg third(settings, dir.path(), clock);
    third.show();
    third.filterBox()->setCurrentIndex(0);
    QTest::keyClick(third.hideButton(), Qt::Key_Return);
    EXPECT_EQ(storedFilter(), 0);
}

TEST_F(Summary, ChartHasTheFiltersBarsAndFollowsTheLog) {
    setTariff("1.0000000000", "0.1000000000");
    writeFile(log(), record("02-05-2024", "10:00:00", "10:10:00") +
                         record("03-04-2024", "10:00:00", "10:01:00"));
    settings.writeInt(keys::kSettings, keys::kSummaryWhen, 1);
    CSummaryDlg dlg(settings, dir.path(), clock);
    dlg.show();
    ASSERT_EQ(dlg.chartData().bars.size(), 31u);  // the days of May
    EXPECT_DOUBLE_EQ(dlg.chartData().bars[1].cost, 2);
    ASSERT_NE(dlg.chartView()->chart(), nullptr);
    EXPECT_EQ(dlg.chartView()->chart()->series().size(), 2);

    // A connection ends while the window is open: values and chart take it in.
    std::ofstream(log(), std::ios::app) << record("03-05-2024", "10:00:00", "10:20:00");
    EXPECT_TRUE(QTest::qWaitFor([&] { return dlg.valueText(0) == "2"; }, 5000));
    EXPECT_DOUBLE_EQ(dlg.chartData().bars[2].cost, 3);

    choose(dlg, 0);
    EXPECT_TRUE(dlg.chartData().monthly);
    EXPECT_EQ(dlg.chartData().bars.size(), 2u);  // April and May
}

TEST_F(Summary, ChartReadsOnADarkAndOnALightPalette) {
    QPalette velvora;
    velvora.setColor(QPalette::Window, QColor(58, 30, 80));
    velvora.setColor(QPalette::WindowText, QColor(238, 228, 255));
    QPalette light;
    light.setColor(QPalette::Window, QColor(246, 245, 244));
    light.setColor(QPalette::WindowText, QColor(0, 0, 0));
    QPalette murky;  // text that barely differs from its face
    murky.setColor(QPalette::Window, QColor(40, 40, 40));
    murky.setColor(QPalette::WindowText, QColor(70, 70, 70));
    for (const QPalette& p : {velvora, light, murky}) {
        const ChartColours c = ChartColours::fromPalette(p);
        EXPECT_EQ(c.background, p.color(QPalette::Window));
        EXPECT_GE(contrastRatio(c.text, c.background), 4.5);
        EXPECT_GE(contrastRatio(c.cost, c.background), 3);
        EXPECT_GE(contrastRatio(c.data, c.background), 3);
    }
    // The window's chart takes its palette, and a new one when the palette changes.
    CSummaryDlg dlg(settings, dir.path(), clock);
    dlg.setPalette(velvora);
    EXPECT_EQ(dlg.chartView()->chart()->backgroundBrush().color(), QColor(58, 30, 80));
}

TEST_F(Summary, ChartCommandDrawsTheCostliestDayTallestWithoutAWindow) {
    setTariff("0.0000000000", "0.1000000000");
    writeFile(log(), record("02-05-2024", "10:00:00", "10:20:00") +
                         record("10-05-2024", "10:00:00", "13:00:00") +
                         record("20-05-2024", "10:00:00", "10:40:00"));
    const std::string png = dir.file("chart.png");
    CommandLine unused;
    std::ostringstream out, err;
    ASSERT_EQ(runCommandLine({"chart", "--config-dir", dir.path(), "--out", png, "--filter",
                              "month", "--size", "640x360"},
                             out, err, clock, dir.path(), unused),
              0)
        << err.str();
    const QImage image(QString::fromStdString(png));
    ASSERT_EQ(image.size(), QSize(640, 360));
    // The cost bars, left to right: runs of columns holding the cost colour, with their height.
    std::vector<int> heights;
    bool inBar = false;
    for (int x = 0; x < image.width(); ++x) {
        int h = 0;
        for (int y = 0; y < image.height(); ++y) {
            h += QColor(image.pixel(x, y)) == ChartColours::kCostColour ? 1 : 0;
        }
        // The legend's marker is a few pixels high: bars are taller.
        if (h > 12 && !inBar) {
            heights.push_back(h);
        } else if (h > 12) {
            heights.back() = std::max(heights.back(), h);
        }
        inBar = h > 12;
    }
    ASSERT_EQ(heights.size(), 3u);
    EXPECT_GT(heights[1], heights[0]);
    EXPECT_GT(heights[1], heights[2]);
    EXPECT_GT(heights[2], heights[0]);

    EXPECT_EQ(runCommandLine({"chart", "--config-dir", dir.path(), "--out", png, "--size", "5x5"},
                             out, err, clock, dir.path(), unused),
              2);
    EXPECT_EQ(
        runCommandLine({"chart", "--config-dir", dir.path()}, out, err, clock, dir.path(), unused),
        2);

    // A link at the name is refused, and the file it points to stays as it was.
    writeFile(dir.file("important"), "keep");
    const std::string planted = dir.file("planted.png");
    ASSERT_EQ(::symlink(dir.file("important").c_str(), planted.c_str()), 0);
    err.str("");
    EXPECT_EQ(runCommandLine({"chart", "--config-dir", dir.path(), "--out", planted}, out, err,
                             clock, dir.path(), unused),
              1);
    EXPECT_EQ(err.str(), "tavu: can not write " + planted + ": it is a symbolic link\n");
    EXPECT_EQ(test::readFile(dir.file("important")), "keep");
}

TEST_F(Summary, UsageChartSaysCostAndShowsBillingPeriodsForAllEntries) {
    setTariff("1.0000000000", "0.0000000000");
    settings.writeInt(keys::kSettings, keys::kBillingDay, 15);
    writeFile(log(), record("14-04-2024", "10:00:00", "10:10:00") +
                         record("02-05-2024", "10:00:00", "10:10:00"));
    settings.writeInt(keys::kSettings, keys::kSummaryWhen, 0);
    CSummaryDlg dlg(settings, dir.path(), clock);
    ASSERT_EQ(dlg.chartData().bars.size(), 2u);
    EXPECT_EQ(dlg.chartData().bars[0].label, "2024-03-15");
    EXPECT_EQ(dlg.chartData().bars[1].label, "2024-04-15");
    QChart* chart = dlg.chartView()->chart();
    QStringList titles;
    for (const QAbstractAxis* axis : chart->axes()) {
        titles << axis->titleText();
    }
    EXPECT_TRUE(titles.contains("Cost"));
    EXPECT_TRUE(titles.contains("Period"));
    EXPECT_FALSE(titles.contains("Price"));
    const auto* bars = qobject_cast<QBarSeries*>(chart->series().at(0));
    ASSERT_NE(bars, nullptr);
    EXPECT_EQ(bars->barSets().at(0)->label(), "Cost");
}

TEST_F(Summary, PeriodChartShowsTheDataUsedItsCapsAndProjectionInWords) {
    settings.writeInt(keys::kSettings, keys::kBillingDay, 3);
    settings.writeInt(keys::kWarnings, keys::kDataWarnMB, 1500);
    settings.writeInt(keys::kWarnings, keys::kDataHangupMB, 2000);
    settings.writeInt(keys::kSettings, keys::kSummaryWhen, 0);  // the period chart ignores it
    writeFile(log(), record("03-05-2024", "08:00:00", "09:00:00", "joe", "0", "10000000") +
                         record("02-05-2024", "10:00:00", "10:01:40", "joe", "9000000", "0"));
    CSummaryDlg dlg(settings, dir.path(), clock);
    dlg.show();
    // Worked out when its tab is shown.
    EXPECT_TRUE(dlg.periodWordsLabel()->text().isEmpty());
    dlg.chartTabs()->setCurrentIndex(CSummaryDlg::kPeriodTab);
    ASSERT_EQ(dlg.chartTabs()->count(), 2);
    EXPECT_EQ(dlg.chartTabs()->tabText(0), "Usage");
    EXPECT_EQ(dlg.chartTabs()->tabText(1), "This period");
    // 12 hours of the period from 3 May to 3 June: 10 MB so far, 31 days x 2 = 620 MB ahead.
    EXPECT_EQ(dlg.periodWordsLabel()->text(),
              "10 MB of 2,000 MB used, 31 days left, projected 620 MB");
    EXPECT_EQ(dlg.periodWordsLabel()->textFormat(), Qt::PlainText);
    QChart* chart = dlg.periodChartView()->chart();
    ASSERT_NE(chart, nullptr);
    QStringList names;
    for (QAbstractSeries* series : chart->series()) {
        names << series->name();
    }
    EXPECT_EQ(names, (QStringList{"Used", "Projected", "Warning cap", "Hang-up cap"}));
    const auto* projected = qobject_cast<QLineSeries*>(chart->series().at(1));
    ASSERT_NE(projected, nullptr);
    EXPECT_EQ(projected->pen().style(), Qt::DashLine);
    EXPECT_DOUBLE_EQ(projected->at(1).x(), 31);
    EXPECT_DOUBLE_EQ(projected->at(1).y(), 620);
    const auto* hangup = qobject_cast<QLineSeries*>(chart->series().at(3));
    ASSERT_EQ(hangup->count(), 2);
    EXPECT_DOUBLE_EQ(hangup->at(0).y(), 2000);
    EXPECT_DOUBLE_EQ(hangup->at(1).y(), 2000);

    // Caps taken off: only the line of use and its projection, and no cap in the words.
    settings.writeInt(keys::kWarnings, keys::kDataWarnMB, 0);
    settings.writeInt(keys::kWarnings, keys::kDataHangupMB, 0);
    std::ofstream(log(), std::ios::app)
        << record("03-05-2024", "10:00:00", "10:01:00", "joe", "0", "5000000");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return dlg.periodWordsLabel()->text().startsWith("15 MB used"); }, 5000))
        << dlg.periodWordsLabel()->text().toStdString();
    EXPECT_EQ(dlg.periodChartView()->chart()->series().size(), 2);
}

TEST_F(Summary, ChartsFitASmallScreenAndTheWordsReadAtLargerScales) {
    settings.writeInt(keys::kWarnings, keys::kDataHangupMB, 10000);
    writeFile(log(), record("03-05-2024", "08:00:00", "09:00:00", "joe", "0", "5240000000"));
    CSummaryDlg dlg(settings, dir.path(), clock);
    dlg.chartTabs()->setCurrentIndex(CSummaryDlg::kPeriodTab);
    dlg.show();
    QApplication::processEvents();
    // 1366 x 768 at 1.5 times scale, less a task bar of 40 pixels, in the window's own pixels.
    const QSize least = dlg.minimumSizeHint();
    EXPECT_LE(least.width(), qRound(1366 / 1.5));
    EXPECT_LE(least.height(), qRound((768 - 40) / 1.5));
    EXPECT_LE(dlg.height(), qRound((768 - 40) / 1.5));

    // The words in a font 1, 1.25 and 1.5 times as large, the window at its least size: they
    // wrap, and every line shows.
    QLabel* words = dlg.periodWordsLabel();
    EXPECT_TRUE(words->text().startsWith("5,240 MB of 10,000 MB used"))
        << words->text().toStdString();
    const double points = words->font().pointSizeF();
    for (const double scale : {1.0, 1.25, 1.5}) {
        QFont font = words->font();
        font.setPointSizeF(points * scale * 1.5);  // and larger still than the chart's text
        words->setFont(font);
        dlg.resize(dlg.minimumSizeHint());
        QApplication::processEvents();
        EXPECT_TRUE(words->wordWrap());
        EXPECT_GE(words->height(), words->heightForWidth(words->width())) << scale;
        EXPECT_LE(words->width(), dlg.width()) << scale;
    }
}

TEST_F(Summary, ChartCommandDrawsThePeriodChartAndRefusesAnUnknownKind) {
    settings.writeInt(keys::kWarnings, keys::kDataHangupMB, 100);
    writeFile(log(), record("02-05-2024", "10:00:00", "10:20:00", "joe", "0", "60000000"));
    const std::string png = dir.file("period.png");
    CommandLine unused;
    std::ostringstream out, err;
    for (const QSize size : {QSize(800, 480), QSize(1600, 960)}) {
        ASSERT_EQ(
            runCommandLine(
                {"chart", "--config-dir", dir.path(), "--kind", "period", "--out", png, "--size",
                 QStringLiteral("%1x%2").arg(size.width()).arg(size.height()).toStdString()},
                out, err, clock, dir.path(), unused),
            0)
            << err.str();
        const QImage image(QString::fromStdString(png));
        ASSERT_EQ(image.size(), size);
        // The line of use is drawn in the data colour; the bars' cost colour is absent.
        int data = 0, cost = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c(image.pixel(x, y));
                data += c == ChartColours::kDataColour ? 1 : 0;
                cost += c == ChartColours::kCostColour ? 1 : 0;
            }
        }
        EXPECT_GT(data, 50);
        EXPECT_EQ(cost, 0);
    }
    std::ostringstream badErr;
    EXPECT_EQ(runCommandLine({"chart", "--config-dir", dir.path(), "--kind", "pie", "--out", png},
                             out, badErr, clock, dir.path(), unused),
              2);
    EXPECT_NE(badErr.str().find("--kind needs usage or period"), std::string::npos) << badErr.str();
    EXPECT_EQ(runCommandLine({"chart", "--config-dir", dir.path(), "--out", png, "--kind"}, out,
                             err, clock, dir.path(), unused),
              2);
}

// The connection in progress that a monitor journals beside the log draws as its record
// would once logged.
TEST_F(Summary, ChartCommandCountsTheJournaledConnection) {
    settings.writeInt(keys::kWarnings, keys::kDataHangupMB, 100);
    const auto draw = [&](const char* kind) {
        const std::string png = dir.file(std::string(kind) + ".png");
        CommandLine unused;
        std::ostringstream out, err;
        EXPECT_EQ(runCommandLine({"chart", "--config-dir", dir.path(), "--kind", kind, "--filter",
                                  "month", "--out", png},
                                 out, err, clock, dir.path(), unused),
                  0)
            << err.str();
        return QImage(QString::fromStdString(png));
    };
    writeFile(log(), "");
    const QImage emptyPeriod = draw("period");
    const QImage emptyUsage = draw("usage");

    const std::string line = record("02-05-2024", "10:00:00", "10:20:00", "joe", "0", "60000000");
    JournalEntry entry;
    entry.start = std::chrono::duration_cast<std::chrono::seconds>(
                      fromLocal(2024, 5, 2, 10).time_since_epoch())
                      .count();
    entry.end = entry.start + 1200;
    entry.handle = 7;
    entry.mark = "7";
    entry.record = LogRecord{"02-05-2024", "10:00:00", "02-05-2024", "10:20:00", "joe",
                             "ttyS0",      "ISP",      "0",          "60000000"};
    ConnectionJournal journal;
    ASSERT_TRUE(journal.begin(ConnectionJournal::pathFor(log()), entry));
    const QImage journaledPeriod = draw("period");
    const QImage journaledUsage = draw("usage");
    EXPECT_NE(journaledPeriod, emptyPeriod);
    EXPECT_NE(journaledUsage, emptyUsage);

    // Logged, the connection draws the same; its journal is no longer counted.
    writeFile(log(), line);
    EXPECT_EQ(draw("period"), journaledPeriod);
    EXPECT_EQ(draw("usage"), journaledUsage);
}

// A log of `records` connections, one every ten minutes or so, the last of them on the morning
// of the tests' day, some over midnight.
std::string manyRecords(int records) {
    std::mt19937 rnd(11);
    std::vector<int> gaps(static_cast<std::size_t>(records));
    std::int64_t t = std::chrono::duration_cast<std::chrono::seconds>(
                         fromLocal(2024, 5, 3, 9).time_since_epoch())
                         .count();
    for (int& gap : gaps) {
        gap = std::uniform_int_distribution<int>(60, 1150)(rnd);
        t -= gap;
    }
    const auto date = [](const LocalDateTime& d) {
        char text[16];
        std::snprintf(text, sizeof text, "%02d-%02d-%04d", d.day, d.month, d.year);
        return std::string(text);
    };
    const auto time = [](const LocalDateTime& d) {
        char text[16];
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", d.hour, d.minute, d.second);
        return std::string(text);
    };
    std::string out;
    out.reserve(static_cast<std::size_t>(records) * 80);
    for (const int gap : gaps) {
        t += gap;
        const LocalDateTime a = toLocal(TimePoint{std::chrono::seconds(t)});
        const LocalDateTime b = toLocal(
            TimePoint{std::chrono::seconds(t + std::uniform_int_distribution<int>(0, 3600)(rnd))});
        out += composeRecord(LogRecord{date(a), time(a), date(b), time(b), "joe", "ttyS0", "ISP",
                                       std::to_string(rnd() % 2000000),
                                       std::to_string(rnd() % 9000000)});
    }
    return out;
}

// An upgrade: a big log and no store. The window's first count goes on behind it with its
// progress in words, then the figures are those of a full pass over the log; the next window
// has them at once.
TEST_F(Summary, TheFirstCountOfABigLogShowsItsProgressThenTheFullPassFigures) {
    setTariff("0.1500000000", "0.0350000000");
    settings.writeString(keys::kPrice, "CheapCostPerMinute", "0.012");
    settings.writeString(keys::kPrice, "CheapTimeStart", "22:00");
    settings.writeString(keys::kPrice, "CheapTimeEnd", "07:30");
    settings.writeString(keys::kPrice, "FreeMonthTime", "02:30");
    settings.writeString(keys::kPrice, keys::kCostPerMB, "0.0125");
    settings.writeInt(keys::kPrice, "FreeMonthMB", 300);
    writeFile(log(), manyRecords(100000));
    ASSERT_FALSE(QFileInfo::exists(QString::fromStdString(dir.file("usage.db"))));
    settings.writeInt(keys::kSettings, keys::kSummaryWhen, 0);

    CSummaryDlg dlg(settings, dir.path(), clock);
    // Back from the constructor while the count goes on: its progress stands in the charts'
    // place, and no figure shows yet.
    ASSERT_TRUE(dlg.counting());
    EXPECT_TRUE(dlg.countingBar()->isVisibleTo(&dlg));
    EXPECT_FALSE(dlg.chartTabs()->isVisibleTo(&dlg));
    EXPECT_EQ(dlg.valueText(0), "");
    QStringList seen;
    QObject::connect(dlg.countingBar(), &QProgressBar::valueChanged,
                     [&] { seen << dlg.countingBar()->text(); });
    dlg.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dlg.counting(); }, 120000));

    ASSERT_FALSE(seen.empty());
    int last = 0;
    for (const QString& text : seen) {
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("^Counting the log\u2026 (\\d+)%$")).match(text);
        ASSERT_TRUE(m.hasMatch()) << text.toStdString();
        EXPECT_GT(m.captured(1).toInt(), last);
        EXPECT_LE(m.captured(1).toInt(), 100);
        last = m.captured(1).toInt();
    }
    EXPECT_FALSE(dlg.countingBar()->isVisibleTo(&dlg));
    EXPECT_TRUE(dlg.chartTabs()->isVisibleTo(&dlg));
    const LogTotals all = TotalsEngine(settings, SummaryFilter::All, clock.localNow()).run(log());
    EXPECT_EQ(all.count, 100000);
    EXPECT_EQ(values(dlg), expected(all));

    choose(dlg, 1);
    EXPECT_FALSE(dlg.counting());
    const LogTotals month =
        TotalsEngine(settings, SummaryFilter::ThisMonth, clock.localNow()).run(log());
    ASSERT_GT(month.count, 0);
    EXPECT_EQ(values(dlg), expected(month));
    EXPECT_EQ(dlg.valueText(CSummaryDlg::kLines),
              QString::fromStdString(projectionLines(month)[0].value));

    CSummaryDlg again(settings, dir.path(), clock);
    EXPECT_FALSE(again.counting());
    EXPECT_EQ(values(again), expected(month));
}

// One ten-minute record of 10 MB whose stored rows hold half an hour: the window's figures,
// its bars and the period chart place the record's own ten minutes by those rows.
TEST_F(Summary, RowsPlaceTheRecordsOwnTimeInTheTotalsAndBothCharts) {
    setTariff("0.0000000000", "0.1000000000");
    settings.writeString(keys::kPrice, keys::kCostPerMB, "0.01");
    writeFile(log(), record("02-05-2024", "10:00:00", "10:10:00", "joe", "0", "10000000"));
    {
        std::string error;
        const auto store = UsageStore::open(UsageStore::pathFor(log()), true, error);
        ASSERT_NE(store, nullptr) << error;
        const std::int64_t q = std::chrono::duration_cast<std::chrono::seconds>(
                                   fromLocal(2024, 5, 2, 10).time_since_epoch())
                                   .count();
        ASSERT_TRUE(store->write(ConnectionKey{"02-05-2024", "10:00:00", "ttyS0", "ISP"},
                                 {UsageRow{quarterOf(q), 900, 0, 4000000, 0},
                                  UsageRow{quarterOf(q) + 900, 900, 0, 6000000, 0}}));
    }
    settings.writeInt(keys::kSettings, keys::kSummaryWhen, 1);
    CSummaryDlg dlg(settings, dir.path(), clock);

    UsageLedger ledger(settings, log());
    const LogTotals month = ledger.totals(SummaryFilter::ThisMonth, clock.localNow());
    EXPECT_EQ(month.totalTime, 600);
    EXPECT_EQ(values(dlg), expected(month));
    EXPECT_EQ(dlg.valueText(1), "00:10:00");
    EXPECT_EQ(dlg.valueText(2), "1.10");

    dlg.chartTabs()->setCurrentIndex(CSummaryDlg::kPeriodTab);
    EXPECT_DOUBLE_EQ(dlg.periodData().usedMegabytes, month.transmitted / 1e6);
    EXPECT_DOUBLE_EQ(dlg.periodData().usedMegabytes, 10);

    choose(dlg, 0);
    const auto periods = ledger.buckets(UsageBy::Period, LogDate{1, 5, 2024}, LogDate{31, 5, 2024},
                                        clock.localNow());
    ASSERT_EQ(periods.size(), 1u);
    EXPECT_EQ(periods[0].seconds, 600);
    ASSERT_EQ(dlg.chartData().bars.size(), 1u);
    EXPECT_DOUBLE_EQ(dlg.chartData().bars[0].cost, periods[0].cost);
    EXPECT_DOUBLE_EQ(dlg.chartData().bars[0].megabytes,
                     (periods[0].uploaded + periods[0].downloaded) / 1e6);
    EXPECT_DOUBLE_EQ(dlg.chartData().bars[0].cost, month.totalCost);
}

// The window program's own monitor times a connection: the Summary counts it with its rows,
// those stored and those the monitor still holds, as if it ended now.
class LiveSummary : public testing::Test, protected test::MonitorRig<> {
  protected:
    LiveSummary() : MonitorRig("[entry Provider]\nbytes-in-per-s = 1000\nbytes-out-per-s = 100\n") {
        EXPECT_TRUE(ras) << lineError;
        usage = &sink;
    }
    std::int64_t now() const {
        return std::chrono::duration_cast<std::chrono::seconds>(clock.now().time_since_epoch())
            .count();
    }
    UsageStoreSink sink;
    test::NullView view;
};

TEST_F(LiveSummary, TheConnectionInProgressCountsByItsRows) {
    settings.writeString(keys::kPrice, "CostPerMinute", "0.1");
    settings.writeInt(keys::kSettings, keys::kSummaryWhen, 2);
    MonitorCore core(services(), view);
    ras->bringUp("Provider");
    for (int i = 0; i < 1000; ++i) {  // over a quarter hour's end, the rows written each minute
        clock.advance(std::chrono::seconds(1));
        core.poll();
    }
    const std::string log = logFilePath(settings, dir.path());
    ASSERT_EQ(core.logPath(), log);

    UsageLedger ledger(settings, log);
    const std::vector<LiveUsage> live = liveUsageOf(core, now(), log, ledger.rows());
    ASSERT_EQ(live.size(), 1u);
    const LogRecord& r = live[0].record;
    EXPECT_EQ(r.device, "/dev/ttyS0");
    EXPECT_EQ(r.connection, "Provider");
    const std::int64_t length = clockSeconds(r.endTime) - clockSeconds(r.startTime);
    EXPECT_GE(length, 990);
    // The stored rows and the quarter still in memory, each once.
    std::int64_t seconds = 0;
    double received = 0;
    for (const UsageRow& row : live[0].rows) {
        seconds += row.seconds;
        received += static_cast<double>(row.downloaded);
    }
    EXPECT_GE(live[0].rows.size(), 2u);
    EXPECT_EQ(seconds, length);
    EXPECT_EQ(received, std::stod(r.bytesReceived));
    EXPECT_TRUE(liveUsageOf(core, now(), dir.file("elsewhere.log"), ledger.rows()).empty());

    CSummaryDlg dlg(settings, dir.path(), clock, nullptr, {},
                    [&](const std::string& path, const UsageSource* stored) {
                        return liveUsageOf(core, now(), path, stored);
                    });
    EXPECT_EQ(dlg.valueText(0), "1");
    const LogTotals today = ledger.totals(SummaryFilter::Today, clock.localNow(), {},
                                          liveUsageOf(core, now(), log, ledger.rows()));
    EXPECT_EQ(today.count, 1);
    EXPECT_EQ(today.totalTime, length);
    QStringList shown;
    for (int i = 0; i < CSummaryDlg::kLines; ++i) {
        shown << dlg.valueText(i);
    }
    QStringList want;
    for (const SummaryLine& l : summaryLines(today)) {
        want << QString::fromStdString(l.value);
    }
    EXPECT_EQ(shown, want);

    // Without the monitor's connections the window counts the log alone: nothing yet.
    CSummaryDlg alone(settings, dir.path(), clock);
    EXPECT_EQ(alone.valueText(0), "0");
}

}  // namespace
}  // namespace tavu
