#include "Program.h"

TAboutBox* AboutBox = nullptr;
QPointer<QWidget> MainForm;

namespace {
QString g_title = kShortTitle;
}

QString ApplicationTitle() { return g_title; }
void SetApplicationTitle(const QString& title) { g_title = title; }
