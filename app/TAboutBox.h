#pragma once
// The about box: the start-up splash (stay-on-top, not modal, closed by a
// click on it or on its OK image) and the about box of the logo (modal;
// Enter closes it).
// Whenever it closes it posts message 0x0400 to the main window; while it
// exists the program-wide AboutBox reference points at it.
//
// Threads: UI thread only.
#include <QDialog>

class TClickImage;
class QLabel;

class TAboutBox : public QDialog {
public:
    explicit TAboutBox(QWidget* owner = nullptr);
    ~TAboutBox() override;

    // Shows the box as the start-up splash and returns once it is on screen
    // and painted (waiting a moment for the window system to expose it).
    void ShowSplash();

    void OkBtnClick();
    void Label6Click();

    TClickImage* OkBtn;
    QLabel* Label4;
    QLabel* Label2;
    QLabel* Label7;

    // The licensee's web page (the link's target).
    static const char* const WebAddress;

    void done(int result) override;
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void FormClose();
    bool m_closed = false;
    bool m_pressed = false;
};
