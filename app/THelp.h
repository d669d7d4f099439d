#pragma once
// The help window: the user guide, read-only, over the textured background.
// Created on each use, shown modally. UI thread only.
#include <QDialog>

class QTextBrowser;
class TClickImage;
class TPaintBox;

class THelp : public QDialog {
public:
    explicit THelp(QWidget* owner = nullptr);

    QTextBrowser* RichEdit1;
    TClickImage* Image1;

    void Image1Click();
    void PaintBox11Paint(QPainter& canvas);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void FormCreate();
    void Arrange();
    TPaintBox* m_background;
};
