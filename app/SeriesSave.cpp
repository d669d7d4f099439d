#include "SeriesSave.h"

#include "SeriesExport.h"
#include "SplitImages.h"
#include "TAquaRadio.h"
#include "TForm1.h"
#include "TPrivateDialogSettings.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStandardPaths>

const char* const kNothingToSave = "This series has no images yet, so there is nothing to save.";
const char* const kTiffFilter = "Multipage TIFF (*.TIF)";
const char* const kDicomFilter = "DICOM files (*.DCM)";

QString SuffixForFilter(const QString& filter) { return filter == kDicomFilter ? "DCM" : "TIF"; }

void ExportStack(const TStack& stack, size_t count, const std::string& fileName)
{
    std::vector<TDibGraphic*> images;
    for (size_t i = 0; i < count && i < stack.FrameList.size(); ++i)
        images.push_back(stack.FrameList[i].get());
    TSplitDicom dicom = SplitImages;
    if (!stack.FrameFiles.empty()) {
        // The source is a grouping name, not a file: the images' own files are copied.
        const std::vector<std::string> files(stack.FrameFiles.begin(),
                                             stack.FrameFiles.begin() + std::ptrdiff_t(std::min(count, stack.FrameFiles.size())));
        dicom = [files](const std::string&, const std::string& target) { CopyImageFiles(files, target); };
    }
    ExportSeries(images, stack.Source, fileName, dicom, ScreenLogicalDpi());
}

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
    // Declared first, so that it outlives the dialog, which writes its own
    // settings when it is destroyed.
    TPrivateDialogSettings privateSettings;
    QFileDialog dialog(parent, "Save stack", folder, QString(kTiffFilter) + ";;" + kDicomFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(SuffixForFilter(kTiffFilter));
    QObject::connect(&dialog, &QFileDialog::filterSelected,
                     [&dialog](const QString& filter) { dialog.setDefaultSuffix(SuffixForFilter(filter)); });
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
    ExportStack(stack, stack.FrameList.size(), chosen.toStdString());
}
