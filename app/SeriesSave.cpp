#include "SeriesSave.h"

#include "SeriesExport.h"
#include "SplitImages.h"
#include "TAquaRadio.h"
#include "TForm1.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStandardPaths>

const char* const kNothingToSave = "This series has no images yet, so there is nothing to save.";

QString ProposedSaveName(const std::string& source)
{
    const QFileInfo info(QString::fromStdString(source));
    QString name = info.fileName();
    const int dot = name.lastIndexOf('.');
    if (dot >= 0)
        name.truncate(dot);
    return name + ".TIF";
}

QString SaveStartFolder(const QString& lastFolder)
{
    if (!lastFolder.isEmpty() && QFileInfo(lastFolder).isDir())
        return lastFolder;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QFileInfo(documents).isDir())
        return documents;
    return QDir::homePath();
}

QString AskSaveStackName(QWidget* parent, const QString& folder, const QString& proposed)
{
    QFileDialog dialog(parent, "Save stack", folder, "Multipage TIFF (*.TIF);;DICOM files (*.DCM)");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix("TIF");
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.selectFile(proposed);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

void TellSaveProblem(QWidget* parent, const QString& message)
{
    QMessageBox::information(parent, "Save stack", message);
}

void SaveShownSeries(TForm1& form, const TAskSaveName& ask, const TTellUser& tell)
{
    const TStack* shown = form.ShownStack();
    if (!shown || shown->FrameList.empty()) {
        // A series of the open case that has no images (yet) says so; with
        // no case open there is nothing to talk about.
        const size_t index = size_t(form.ShownSeries);
        const bool listed = index < form.SeriesButtons.size() && !form.SeriesButtons[index]->isHidden();
        if (shown || listed)
            tell(&form, kNothingToSave);
        return;
    }
    const TStack& stack = *shown;
    const QString chosen = ask(&form, SaveStartFolder(form.LastSaveFolder), ProposedSaveName(stack.Source));
    if (chosen.isEmpty())
        return;
    form.LastSaveFolder = QDir::cleanPath(QFileInfo(chosen).absolutePath());
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
