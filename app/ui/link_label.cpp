#include "link_label.h"

#include "link_rules.h"

#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QTimerEvent>
#include <QUrl>

namespace mireldo::ui {

namespace {

constexpr int kHoverIntervalMs = 100;
constexpr int kOpened = 42; // any value above 32 reports success

// The command of $BROWSER (a list separated by ':'; %s stands for the address, else it is
// appended), started detached. True when one could be started.
bool openWithBrowserVariable(const QString& address) {
    const QString browsers = qEnvironmentVariable("BROWSER");
    for (const QString& entry : browsers.split(u':', Qt::SkipEmptyParts)) {
        QStringList args = QProcess::splitCommand(entry);
        if (args.isEmpty()) {
            continue;
        }
        bool placed = false;
        for (QString& a : args) {
            if (a.contains(QStringLiteral("%s"))) {
                a.replace(QStringLiteral("%s"), address);
                placed = true;
            }
        }
        if (!placed) {
            args.append(address);
        }
        const QString program = args.takeFirst();
        if (QProcess::startDetached(program, args)) {
            return true;
        }
    }
    return false;
}

} // namespace

int openAddressWithDesktop(const QString& address) {
    const QUrl url(address);
    if (!url.isValid()) {
        return kOpenFileNotFound;
    }
    if (QDesktopServices::openUrl(url)) {
        return kOpened;
    }
    const QString scheme = url.scheme().toLower();
    if ((scheme == QStringLiteral("http") || scheme == QStringLiteral("https")) &&
        openWithBrowserVariable(address)) {
        return kOpened;
    }
    return kOpenNoAssociation;
}

CLinkLabel::CLinkLabel(QWidget* parent) : QLabel(parent) {
    init();
}

CLinkLabel::CLinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    init();
}

void CLinkLabel::init() {
    setMouseTracking(true);
    opener_ = openAddressWithDesktop;
    reportError_ = [this](const QString& message) {
        QApplication::beep();
        QMessageBox::warning(window(), window()->windowTitle(), message);
    };
}

void CLinkLabel::attach() {
    if (target_.isEmpty()) {
        target_ = text();
    } else if (text().isEmpty()) {
        setText(target_);
    }
    normalFont_ = parentWidget() != nullptr ? parentWidget()->font() : QApplication::font();
    underlinedFont_ = normalFont_;
    underlinedFont_.setUnderline(true);
    setFont(underline_ == Underline::Always ? underlinedFont_ : normalFont_);
    fitToText();
    setCursor(Qt::PointingHandCursor);
    attached_ = true;
    update();
}

void CLinkLabel::setVisited(bool visited) {
    visited_ = visited;
    update();
}

void CLinkLabel::setUnderlineMode(Underline mode) {
    underline_ = mode;
    if (attached_) {
        setFont(isUnderlined() ? underlinedFont_ : normalFont_);
    }
    update();
}

void CLinkLabel::setFitToText(bool fit) {
    fitToText_ = fit;
    fitToText();
}

bool CLinkLabel::isUnderlined() const {
    switch (underline_) {
    case Underline::Always:
        return true;
    case Underline::Never:
        return false;
    case Underline::WhileHovered:
        return mouseOver_;
    }
    return false;
}

QString CLinkLabel::address() const {
    return linkAddress(target_, isWebAddress_);
}

QColor CLinkLabel::currentColor() const {
    if (mouseOver_) {
        return hoverColor_;
    }
    return visited_ ? visitedColor_ : linkColor_;
}

void CLinkLabel::fitToText() {
    if (!fitToText_) {
        return;
    }
    const QFontMetrics metrics(underlinedFont_);
    const QSize textSize = metrics.size(Qt::TextSingleLine, text());
    const int frame = frameWidth() * 2;
    const QRect old = geometry();
    QRect r(old.topLeft(), QSize(textSize.width() + frame, textSize.height() + frame));
    const Qt::Alignment a = alignment();
    if (a & Qt::AlignHCenter) {
        r.moveLeft(old.left() + (old.width() - r.width()) / 2);
    } else if (a & Qt::AlignRight) {
        r.moveRight(old.right());
    }
    if (a & Qt::AlignVCenter) {
        r.moveTop(old.top() + (old.height() - r.height()) / 2);
    }
    setGeometry(r);
}

void CLinkLabel::paintEvent(QPaintEvent* /*event*/) {
    QPainter p(this);
    p.setFont(isUnderlined() ? underlinedFont_ : normalFont_);
    p.setPen(currentColor());
    p.drawText(contentsRect(), static_cast<int>(alignment()) | Qt::TextSingleLine, text());
}

void CLinkLabel::mouseMoveEvent(QMouseEvent* event) {
    if (!mouseOver_) {
        mouseOver_ = true;
        if (underline_ == Underline::WhileHovered) {
            setFont(underlinedFont_);
        }
        update();
        hoverTimer_.start(kHoverIntervalMs, this);
    }
    QLabel::mouseMoveEvent(event);
}

void CLinkLabel::endHover() {
    mouseOver_ = false;
    hoverTimer_.stop();
    if (underline_ != Underline::Always) {
        setFont(normalFont_);
    }
    // The underline reaches below the text; repaint a little below the label too.
    if (parentWidget() != nullptr) {
        parentWidget()->update(geometry().adjusted(0, 0, 0, 10));
    }
    update();
}

void CLinkLabel::timerEvent(QTimerEvent* event) {
    if (event->timerId() != hoverTimer_.timerId()) {
        QLabel::timerEvent(event);
        return;
    }
    if (!rect().contains(mapFromGlobal(QCursor::pos()))) {
        endHover();
    }
}

void CLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        open();
    }
    QLabel::mouseReleaseEvent(event);
}

bool CLinkLabel::open() {
    if (mouseOver_) {
        endHover();
    }
    const int result = opener_ ? opener_(address()) : kOpenNoAssociation;
    const bool opened = result > 32;
    if (opened) {
        setVisited(true);
    } else if (reportError_) {
        reportError_(openErrorMessage(result));
    }
    if (hideAfterClick_) {
        hide();
    }
    return opened;
}

} // namespace mireldo::ui
