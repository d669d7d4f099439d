#include "TGraphic.h"

#include "Exception.h"
#include "TFileStream.h"

void TGraphic::AssignTo(TGraphic& dest)
{
    throw EConvertError(std::string("Cannot assign a ") + ClassName() + " to a " + dest.ClassName());
}

void TGraphic::Assign(const TGraphic* source)
{
    if (source) {
        const_cast<TGraphic*>(source)->AssignTo(*this);
        return;
    }
    throw EConvertError(std::string("Cannot assign a nil to a ") + ClassName());
}

void TGraphic::Changed()
{
    if (OnChange)
        OnChange(this);
}

void TGraphic::LoadFromFile(const std::string& fileName)
{
    TFileStream stream(fileName, fmOpenRead | fmShareDenyNone);
    LoadFromStream(stream);
}

void TGraphic::SaveToFile(const std::string& fileName)
{
    TFileStream stream(fileName, fmCreate);
    SaveToStream(stream);
}
