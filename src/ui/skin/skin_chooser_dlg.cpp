#include "ui/skin/skin_chooser_dlg.h"

#include <QBitmap>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/skin/skin_bitmap.h"

namespace tavu {

namespace {

constexpr int kPreviewWidth = 280;
constexpr int kPreviewHeight = 200;

}  // namespace

std::vector<CSkinChooserDlg::Skin> CSkinChooserDlg::findSkins(const QStringList& folders) {
    std::vector<Skin> out;
    for (const QString& folder : folders) {
        const QDir dir(folder);
        QStringList names = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString& name : names) {
            const QString ini = dir.filePath(name + "/Skin.ini");
            if (QFileInfo(ini).isFile()) {
                out.push_back({name, QDir::cleanPath(ini)});
            }
        }
    }
    return out;
}

CSkinChooserDlg::CSkinChooserDlg(const QStringList& folders, const QString& current,
                                 QWidget* parent)
    : QDialog(parent), skins_(findSkins(folders)) {
    setWindowTitle(QStringLiteral("Skins"));
    list_ = new QListWidget(this);
    list_->setMinimumWidth(140);
    for (const Skin& s : skins_) {
        auto* item = new QListWidgetItem(s.name, list_);
        item->setToolTip(s.path);
    }
    preview_ = new QLabel(this);
    preview_->setFixedSize(kPreviewWidth, kPreviewHeight);
    preview_->setAlignment(Qt::AlignCenter);
    preview_->setFrameShape(QFrame::StyledPanel);

    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    auto* other = new QPushButton(QStringLiteral("Other..."), this);
    other->setAutoDefault(false);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(other, &QPushButton::clicked, this, &CSkinChooserDlg::pickOther);
    connect(list_, &QListWidget::currentRowChanged, this, &CSkinChooserDlg::showPreview);
    connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);

    auto* top = new QHBoxLayout;
    top->addWidget(list_, 1);
    top->addWidget(preview_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(other);
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);

    // The skin shown now is selected; else the first one.
    const QString shown = QDir::cleanPath(current);
    int row = 0;
    for (std::size_t i = 0; i < skins_.size(); ++i) {
        if (skins_[i].path == shown) {
            row = static_cast<int>(i);
        }
    }
    if (!skins_.empty()) {
        list_->setCurrentRow(row);
    }
    showPreview();
}

void CSkinChooserDlg::showPreview() {
    const int row = list_->currentRow();
    ok_->setEnabled(row >= 0);
    if (row < 0 || row >= static_cast<int>(skins_.size())) {
        preview_->setPixmap({});
        preview_->setText(QStringLiteral("No skin found"));
        return;
    }
    // The picture as the skin's own reader takes it: one it would refuse shows no preview.
    const QString folder = QFileInfo(skins_[static_cast<std::size_t>(row)].path).absolutePath();
    CSkinBitmap up;
    if (!up.load(folder + QStringLiteral("/MainUp.bmp"))) {
        preview_->setPixmap({});
        preview_->setText(QStringLiteral("No preview"));
        return;
    }
    QImage image = up.image();
    if (image.width() > kPreviewWidth - 4 || image.height() > kPreviewHeight - 4) {
        image = image.scaled(kPreviewWidth - 4, kPreviewHeight - 4, Qt::KeepAspectRatio,
                             Qt::SmoothTransformation);
    }
    // Magenta is the skin's see-through colour: cut away, as on the window itself.
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setMask(QBitmap::fromImage(
        image.convertToFormat(QImage::Format_RGB32).createMaskFromColor(qRgb(255, 0, 255))));
    preview_->setPixmap(pixmap);
}

void CSkinChooserDlg::pickOther() {
    const int row = list_->currentRow();
    const QString start =
        row >= 0 ? QFileInfo(skins_[static_cast<std::size_t>(row)].path).path() : QString();
    const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("Other skin"), start,
                                                      QStringLiteral("TAVU skin settings (*.ini)"));
    if (!file.isEmpty()) {
        other_ = file;
        accept();
    }
}

QString CSkinChooserDlg::selectedPath() const {
    if (!other_.isEmpty()) {
        return other_;
    }
    const int row = list_->currentRow();
    return row >= 0 && row < static_cast<int>(skins_.size())
               ? skins_[static_cast<std::size_t>(row)].path
               : QString();
}

}  // namespace tavu
