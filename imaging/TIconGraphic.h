#pragma once
// The icon image class: only what assigning an image to an icon needs.
#include "TDibGraphic.h"

#include <QIcon>

class TIconGraphic : public TDibGraphic {
public:
    const char* ClassName() const override { return "TIconGraphic"; }
    std::unique_ptr<TDibGraphic> Create() const override { return std::make_unique<TIconGraphic>(); }
    // A true-colour image of the icon's size, drawn over black.
    void LoadFromIcon(const QIcon& icon, int size);
    // An icon made from the image, all pixels opaque.
    QIcon ToIcon() const;
};
