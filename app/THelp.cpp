#include "THelp.h"

#include "AppResources.h"
#include "CaseRow.h"
#include "Program.h"
#include "RowPictures.h"
#include "TClickImage.h"
#include "TPaintBox.h"

#include <QPainter>
#include <QTextBrowser>
#include <QUrl>

THelp::THelp(QWidget* owner) : QDialog(owner)
{
    InitAppResources();
    resize(673, 459);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    m_background = new TPaintBox(this);
    m_background->setEnabled(false);
    m_background->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_background->OnPaint = [this](TPaintBox*, QPainter& canvas) { PaintBox11Paint(canvas); };

    RichEdit1 = new QTextBrowser(this);
    RichEdit1->setReadOnly(true);
    RichEdit1->setOpenExternalLinks(false);
    RichEdit1->setOpenLinks(false);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    Image1 = new TClickImage(this);
    Image1->SetPicture(AppPicture("Ok"));
    Image1->setCursor(Qt::PointingHandCursor);
    Image1->OnClick = [this] { Image1Click(); };
    Arrange();
    FormCreate();
}

void THelp::FormCreate()
{
    setWindowTitle(ApplicationTitle() + " Help");
    RichEdit1->setHtml(HelpDocument());
    // The guide shows the download manager's own state lights, which are
    // drawn, not stored; the document asks for them when it lays them out.
    const struct {
        const char* name;
        int light;
    } lights[] = {{"LightLocal", rlLocal}, {"LightIncomplete", rlIncomplete}, {"LightRemote", rlRemote}};
    for (const auto& l : lights)
        RichEdit1->document()->addResource(QTextDocument::ImageResource, QUrl(l.name), LightPicture(l.light));
}

void THelp::Image1Click()
{
    done(Accepted);
}

void THelp::resizeEvent(QResizeEvent*)
{
    Arrange();
}

void THelp::Arrange()
{
    // The text grows with the window; the OK image stays centred below it.
    m_background->setGeometry(rect());
    RichEdit1->setGeometry(24, 24, std::max(width() - 43, 0), std::max(height() - 74, 0));
    Image1->move((width() - Image1->width()) / 2, height() - 38);
}

void THelp::PaintBox11Paint(QPainter& canvas)
{
    const QPixmap tile = AppPicture("Tile");
    if (tile.isNull())
        return;
    const QPoint corner = m_background->mapFromGlobal(frameGeometry().topLeft());
    const int tw = tile.width(), th = tile.height();
    const QPoint offset(((-corner.x()) % tw + tw) % tw, ((-corner.y()) % th + th) % th);
    canvas.drawTiledPixmap(m_background->rect(), tile, offset);
}
