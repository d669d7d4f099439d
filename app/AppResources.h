#pragma once
// The viewer's own resources: pictures, the user guide and the cursor table.
// UI thread only.
#include <QCursor>
#include <QPixmap>
#include <QString>

// Registers the resources of the viewer library (idempotent).
void InitAppResources();
// A picture by resource name ("Logo", "Tile", ...); null when missing.
QPixmap AppPicture(const QString& name);
// The cursor table: slot 1 "Hand", slot 2 "Cross"; other slots the arrow.
enum { crHand = 1, crCross = 2 };
QCursor AppCursor(int slot);
// The user guide (resource 102) as HTML.
QString HelpDocument();
