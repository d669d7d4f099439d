#pragma once
// The "Save" command: asks for a file name and exports the shown series as a
// multi-page TIFF file or as numbered DICOM files. UI thread; failures
// propagate to the application's exception reporting with their own message.
#include <QString>

#include <functional>
#include <string>

class QWidget;

class TForm1;
struct TStack;

// Shows the save dialog in folder with the proposed name; returns the chosen
// name, or an empty text when the user cancels.
using TAskSaveName = std::function<QString(QWidget* parent, const QString& folder, const QString& proposed)>;
// Tells the user why nothing was saved.
using TTellUser = std::function<void(QWidget* parent, const QString& message)>;

QString AskSaveStackName(QWidget* parent, const QString& folder, const QString& proposed);
void TellSaveProblem(QWidget* parent, const QString& message);
// Does nothing without an open case; a series without images saves nothing
// and says so. Otherwise exports exactly the shown stack's images and
// remembers the chosen folder in the form.
void SaveShownSeries(TForm1& form, const TAskSaveName& ask, const TTellUser& tell);
// Saves the first count frames of stack under fileName as ExportSeries does;
// a series grouped from single-image files is saved as copies of those files
// in display order, under the same numbered names a split file gets.
void ExportStack(const TStack& stack, size_t count, const std::string& fileName);
// The dialog's file types, and the extension each appends to a name typed
// without one.
extern const char* const kTiffFilter;
extern const char* const kDicomFilter;
QString SuffixForFilter(const QString& filter);
// The dialog's proposal: the source's file name with its extension replaced by ".TIF".
QString ProposedSaveName(const std::string& source);
// Where the dialog opens: the folder last saved to while it exists, else the
// user's documents folder, else the home folder.
QString SaveStartFolder(const QString& lastFolder);

extern const char* const kNothingToSave;
