#pragma once
// The "Save" command: asks for a file name and exports the shown series as a
// multi-page TIFF file or as numbered DICOM files. UI thread; failures
// propagate to the application's exception reporting with their own message.
#include <QString>

#include <functional>
#include <string>

class QWidget;

class TForm1;

// Shows the save dialog with the proposed name; returns the chosen name, or
// an empty text when the user cancels.
using TAskSaveName = std::function<QString(QWidget* parent, const QString& proposed)>;

QString AskSaveStackName(QWidget* parent, const QString& proposed);
void SaveShownSeries(TForm1& form, const TAskSaveName& ask);
// The dialog's proposal: the source's file name with its extension replaced by ".TIF".
QString ProposedSaveName(const std::string& source);
