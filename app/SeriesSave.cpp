#include "SeriesSave.h"

#include "SeriesExport.h"
#include "SplitImages.h"
#include "TForm1.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>

#include <stdexcept>

QString ProposedSaveName(const std::string& source)
{
    const QFileInfo info(QString::fromStdString(source));
    QString name = info.fileName();
    const int dot = name.lastIndexOf('.');
    if (dot >= 0)
        name.truncate(dot);
    return name + ".TIF";
}

QString AskSaveStackName(QWidget* parent, const QString& proposed)
{
    QFileDialog dialog(parent, "Save stack", QString(), "Multipage TIFF (*.TIF);;DICOM files (*.DCM)");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix("TIF");
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.selectFile(proposed);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

void SaveShownSeries(TForm1& form, const TAskSaveName& ask)
{
    // No series loaded: the look-up fails as an index error would.
    if (form.ShownSeries < 0 || size_t(form.ShownSeries) >= form.Model.Stacks.size())
        throw std::out_of_range("List index out of bounds (" + std::to_string(form.ShownSeries) + ")");
    const TStack& stack = *form.Model.Stacks[size_t(form.ShownSeries)];
    const QString chosen = ask(&form, ProposedSaveName(stack.Source));
    if (chosen.isEmpty())
        return;
    form.repaint();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    struct RestoreCursor {
        ~RestoreCursor() { QApplication::restoreOverrideCursor(); }
    } restore;
    // The count is taken once: the loader may still be filling the list.
    std::vector<TDibGraphic*> images;
    const size_t count = stack.FrameList.size();
    for (size_t i = 0; i < count; ++i)
        images.push_back(stack.FrameList[i].get());
    ExportSeries(images, stack.Source, chosen.toStdString(), SplitImages, ScreenLogicalDpi());
}
