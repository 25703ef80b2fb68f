#pragma once

// CLinkLabel: a text label that opens an address when clicked: a web page as it is, an e-mail
// address with "mailto:" put in front. Drawn in the link colour, the visited colour after a
// successful open and the hover colour while the mouse is over it; underlined while hovered,
// never or always; sized to its text.
//
// Threads: the user-interface thread only.

#include <QBasicTimer>
#include <QColor>
#include <QFont>
#include <QLabel>

#include <functional>

namespace mireldo::ui {

/// Opens an address through the desktop. Returns a value above 32 on success, else the
/// opener's error code (0..32) for openErrorText().
using AddressOpener = std::function<int(const QString& address)>;

/// The desktop's opener: the desktop's URL handler, then the command in $BROWSER for web
/// addresses; 31 when neither can open it.
int openAddressWithDesktop(const QString& address);

class CLinkLabel : public QLabel {
    Q_OBJECT

  public:
    enum class Underline { WhileHovered = -1, Never = 0, Always = 1 };

    explicit CLinkLabel(QWidget* parent = nullptr);
    explicit CLinkLabel(const QString& text, QWidget* parent = nullptr);

    /// Finishes the set-up once text, target and geometry are in place: fills the target from
    /// the text (or the text from the target), makes the fonts, fits the label to its text and
    /// sets the hand cursor.
    void attach();

    void setTarget(const QString& target) { target_ = target; }
    QString target() const { return target_; }
    void setIsWebAddress(bool web) { isWebAddress_ = web; }
    bool isWebAddress() const { return isWebAddress_; }
    void setVisited(bool visited);
    bool isVisited() const { return visited_; }
    void setUnderlineMode(Underline mode);
    void setFitToText(bool fit);
    void setHideAfterClick(bool hide) { hideAfterClick_ = hide; }
    bool isMouseOver() const { return mouseOver_; }

    /// The address a click opens.
    QString address() const;
    /// The colour the text is drawn in now.
    QColor currentColor() const;
    /// True when the text is drawn underlined now.
    bool isUnderlined() const;

    /// Replaces the desktop opener (tests); and the way an error is shown (a warning box).
    void setOpener(AddressOpener opener) { opener_ = std::move(opener); }
    void setErrorReporter(std::function<void(const QString&)> report) {
        reportError_ = std::move(report);
    }

    /// What a click does: opens the address, marks the label visited or reports the error.
    /// Returns true when the address was opened.
    bool open();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

  private:
    void init();
    void fitToText();
    void endHover();

    QString target_;
    bool isWebAddress_ = false;
    QColor linkColor_{0, 0, 238};
    QColor visitedColor_{85, 26, 139};
    QColor hoverColor_{255, 0, 0};
    bool visited_ = false;
    bool mouseOver_ = false;
    Underline underline_ = Underline::WhileHovered;
    bool fitToText_ = true;
    bool hideAfterClick_ = false;
    bool attached_ = false;
    QFont normalFont_;
    QFont underlinedFont_;
    QBasicTimer hoverTimer_;
    AddressOpener opener_;
    std::function<void(const QString&)> reportError_;
};

} // namespace mireldo::ui
