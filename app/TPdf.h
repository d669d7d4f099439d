#pragma once
// The embedded PDF display: a document view behind one property, src, the
// full path of the report. Setting src to an empty string releases the
// document. A document that cannot be shown leaves a notice with a button
// that opens the report in the desktop's own viewer.
//
// Threads: UI thread only.
#include <QString>
#include <QWidget>

class QLabel;
class QPdfDocument;
class QPdfView;
class QPushButton;

class TPdf : public QWidget {
public:
    explicit TPdf(QWidget* parent = nullptr);
    ~TPdf() override;

    const QString& src() const { return m_src; }
    void setSrc(const QString& path);
    // True when the document is on show (not the notice).
    bool Showing() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QString m_src;
    QPdfDocument* m_document;
    QPdfView* m_view;
    QWidget* m_notice;
    QLabel* m_noticeText;
    QPushButton* m_open;
};
