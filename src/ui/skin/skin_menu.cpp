#include "ui/skin/skin_menu.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include "monitor/commands.h"

namespace tavu {

// --- The level's window ------------------------------------------------------------------------

CSkinMenuWnd::CSkinMenuWnd(CSkinMenu& level, QWidget* parent) : QWidget(parent), level_(&level) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CSkinMenuWnd::paintEvent(QPaintEvent*) {
    if (level_) {
        level_->paint(*this);
    }
}

void CSkinMenuWnd::mouseMoveEvent(QMouseEvent* event) {
    if (level_) {
        level_->mouseMove(event->position().toPoint());
    }
}

void CSkinMenuWnd::mousePressEvent(QMouseEvent* event) {
    if (level_ && event->button() == Qt::LeftButton) {
        level_->mousePress(event->position().toPoint());
    }
    event->accept();  // a press on the menu never drags the main window
}

void CSkinMenuWnd::leaveEvent(QEvent*) {
    if (level_) {
        level_->mouseLeave();
    }
}

// --- The level ---------------------------------------------------------------------------------

CSkinMenu::CSkinMenu(QWidget* owner, CSkinMenu* parent, const SkinMenuColors& colors,
                     const QFont& font, Deliver deliver)
    : owner_(owner), parent_(parent), colors_(colors), font_(font), deliver_(std::move(deliver)) {}

CSkinMenu::~CSkinMenu() {
    if (window_) {
        window_->detach();
        delete window_;
    }
}

std::unique_ptr<CSkinMenu> CSkinMenu::mainMenu(QWidget* owner, QPoint at,
                                               const SkinMenuColors& colors, const QFont& font,
                                               Deliver deliver) {
    std::unique_ptr<CSkinMenu> top(new CSkinMenu(owner, nullptr, colors, font, deliver));
    std::unique_ptr<CSkinMenu> popup;
    std::size_t title = 0;
    for (const int id : kSkinMenuLayout) {
        if (id == kMenuPopupStart) {
            popup.reset(new CSkinMenu(owner, top.get(), colors, font, deliver));
        } else if (id == kMenuPopupEnd) {
            const QString text =
                QString::fromUtf8(kSkinPopupTitles[title].data(), kSkinPopupTitles[title].size());
            ++title;
            top->add(text, 0, std::move(popup));
        } else if (id != kMenuSeparator) {
            const auto entry = findCommand(id);
            const QString text =
                entry ? QString::fromUtf8(entry->skinMenuText.data(), entry->skinMenuText.size())
                      : QString();
            (popup ? popup.get() : top.get())->add(text, id, nullptr);
        }
    }
    top->place(at);
    return top;
}

void CSkinMenu::add(const QString& text, int command, std::unique_ptr<CSkinMenu> child) {
    items_.push_back(Entry{text, command, std::move(child)});
}

void CSkinMenu::place(QPoint at) {
    at_ = at;
    const QFontMetrics metrics(font_);
    std::vector<std::pair<int, int>> sizes;
    for (const Entry& e : items_) {
        const QSize s = metrics.size(Qt::TextSingleLine | Qt::TextShowMnemonic, e.text);
        sizes.emplace_back(s.width(), s.height());
    }
    geometry_ = skin::layoutMenuLevel(sizes);
    for (int i = 0; i < count(); ++i) {
        if (CSkinMenu* c = child(i)) {
            const auto [x, y] = geometry_.childOrigin(at.x(), at.y(), i);
            c->place(QPoint(x, y));
        }
    }
}

void CSkinMenu::draw() {
    if (!window_) {
        window_ = new CSkinMenuWnd(*this, owner_);
        window_->setGeometry(at_.x(), at_.y(), geometry_.windowWidth(), geometry_.windowHeight());
        window_->show();
    }
    window_->raise();
    window_->update();
    if (open_ >= 0) {
        if (CSkinMenu* c = child(open_)) {
            c->draw();
        }
    }
}

void CSkinMenu::close() {
    closeOpenChild();
    if (window_) {
        // This may run inside the window's own mouse handler: let it go once that is over.
        window_->detach();
        window_->hide();
        window_->deleteLater();
        window_ = nullptr;
    }
}

void CSkinMenu::closeOpenChild() {
    if (open_ >= 0) {
        if (CSkinMenu* c = child(open_)) {
            c->close();
            c->hot_ = -1;
            c->open_ = -1;
        }
    }
}

void CSkinMenu::mouseMove(QPoint at) {
    const int a = geometry_.itemAt(at.x(), at.y());
    if (a < 0) {
        return;
    }
    if (open_ < 0) {
        if (a != hot_) {
            hot_ = a;
            draw();
        }
    } else if (a != open_) {
        closeOpenChild();
        open_ = a;
        draw();
    }
}

void CSkinMenu::mouseLeave() {
    if (open_ < 0 && hot_ >= 0) {
        hot_ = -1;
        if (window_) {
            window_->update();
        }
    }
}

void CSkinMenu::mousePress(QPoint at) {
    const int p = geometry_.itemAt(at.x(), at.y());
    if (p < 0) {
        // Outside the items: every open child level gets the press at the same screen spot.
        for (int i = 0; i < count(); ++i) {
            CSkinMenu* c = child(i);
            if (c && c->window_) {
                c->mousePress(at + at_ - c->at_);
            }
        }
        return;
    }
    if (p == open_) {
        closeOpenChild();
        open_ = -1;
        draw();
        return;
    }
    closeOpenChild();
    hot_ = -1;
    open_ = p;
    draw();
    if (!child(p)) {
        choose(command(p));
    }
}

void CSkinMenu::choose(int id) {
    // The chain of open levels closes up to the top, which stays drawn with nothing hot or open.
    CSkinMenu* top = this;
    while (top->parent_) {
        top = top->parent_;
    }
    top->closeOpenChild();
    top->hot_ = -1;
    top->open_ = -1;
    top->draw();
    // The command may replace the whole menu (a new skin): it runs after this event is done.
    if (deliver_) {
        QTimer::singleShot(0, owner_, [deliver = deliver_, id] { deliver(id); });
    }
}

void CSkinMenu::paint(QWidget& window) {
    QPainter p(&window);
    p.fillRect(window.rect(), colors_.edgeRD);
    p.setFont(font_);
    for (int i = 0; i < count(); ++i) {
        const skin::Rect r = geometry_.item(i);
        const QRect box(r.x, r.y, r.w, r.h);
        p.fillRect(box, colors_.background);
        QColor topLeft = colors_.background;
        QColor bottomRight = colors_.background;
        if (i == open_) {
            topLeft = colors_.edgeRD;
            bottomRight = colors_.edgeLU;
        } else if (i == hot_) {
            topLeft = colors_.edgeLU;
            bottomRight = colors_.edgeRD;
        }
        p.fillRect(QRect(box.left(), box.top(), box.width(), 1), topLeft);
        p.fillRect(QRect(box.left(), box.top(), 1, box.height()), topLeft);
        p.fillRect(QRect(box.left(), box.bottom(), box.width(), 1), bottomRight);
        p.fillRect(QRect(box.right(), box.top(), 1, box.height()), bottomRight);
        p.setPen(colors_.text);
        p.drawText(box, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic, text(i));
    }
}

}  // namespace tavu
