#pragma once
// Program-wide state of the viewer. UI thread only.
#include <QPointer>
#include <QString>
#include <QWidget>

class TAboutBox;

// The about box, or null when none exists (the splash counts).
extern TAboutBox* AboutBox;
// The main window once it exists; messages are posted to it.
extern QPointer<QWidget> MainForm;

// The application title: "Caldris" at start, "Caldris Version 1.5" once the
// main window is created.
QString ApplicationTitle();
void SetApplicationTitle(const QString& title);

constexpr const char* kShortTitle = "Caldris";
constexpr const char* kFullTitle = "Caldris Version 1.5";
