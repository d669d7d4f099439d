#include "TPdf.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QPdfDocument>
#include <QPdfView>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

TPdf::TPdf(QWidget* parent) : QWidget(parent)
{
    m_document = new QPdfDocument(this);
    m_view = new QPdfView(this);
    m_view->setDocument(m_document);
    m_view->setPageMode(QPdfView::PageMode::MultiPage);
    m_view->setZoomMode(QPdfView::ZoomMode::FitToWidth);

    m_notice = new QWidget(this);
    m_notice->setAutoFillBackground(true);
    QPalette pal = m_notice->palette();
    pal.setColor(QPalette::Window, Qt::white);
    m_notice->setPalette(pal);
    auto* layout = new QVBoxLayout(m_notice);
    layout->addStretch();
    m_noticeText = new QLabel(m_notice);
    m_noticeText->setAlignment(Qt::AlignCenter);
    m_noticeText->setWordWrap(true);
    layout->addWidget(m_noticeText);
    m_open = new QPushButton("Open with the default viewer", m_notice);
    layout->addWidget(m_open, 0, Qt::AlignHCenter);
    layout->addStretch();
    connect(m_open, &QPushButton::clicked, this,
            [this] { QDesktopServices::openUrl(QUrl::fromLocalFile(m_src)); });
    m_notice->hide();
}

TPdf::~TPdf() = default;

void TPdf::setSrc(const QString& path)
{
    m_src = path;
    m_document->close();
    if (path.isEmpty()) {
        m_notice->hide();
        return;
    }
    const QPdfDocument::Error error = m_document->load(path);
    const bool ok = error == QPdfDocument::Error::None && m_document->pageCount() > 0;
    m_view->setVisible(ok);
    m_notice->setVisible(!ok);
    if (!ok) {
        m_noticeText->setText(QString("The report %1 cannot be shown here.").arg(QFileInfo(path).fileName()));
        m_document->close();
    }
}

bool TPdf::Showing() const { return !m_notice->isVisibleTo(this) && m_document->pageCount() > 0; }

void TPdf::resizeEvent(QResizeEvent*)
{
    m_view->setGeometry(rect());
    m_notice->setGeometry(rect());
}
