#pragma once
// Abstract drawable image: the operations that the display, the clipboard and
// the file loaders call. Not thread-bound; one owner at a time.
#include <functional>
#include <string>

class QPainter;
class QRect;
class QImage;
class TStream;

class TGraphic {
public:
    virtual ~TGraphic() = default;

    virtual const char* ClassName() const { return "TGraphic"; }

    virtual void AssignTo(TGraphic& dest);
    virtual void Assign(const TGraphic* source);
    // Notifies the observer (OnChange) that the image changed.
    virtual void Changed();
    virtual void Draw(QPainter& canvas, const QRect& rect) = 0;
    virtual bool GetEmpty() const = 0;
    virtual int GetHeight() const = 0;
    virtual int GetWidth() const = 0;
    virtual void SetHeight(int value) = 0;
    virtual void SetWidth(int value) = 0;

    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName);
    virtual void LoadFromStream(TStream& stream) = 0;
    virtual void SaveToStream(TStream& stream) = 0;
    // The clipboard's bitmap format maps to QImage.
    virtual void LoadFromClipboardFormat(const QImage& image) = 0;
    virtual QImage SaveToClipboardFormat() const = 0;

    std::function<void(TGraphic*)> OnChange;
};
