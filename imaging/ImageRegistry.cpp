#include "ImageRegistry.h"

#include <QByteArray>

namespace {
std::vector<TRegisteredExtension>& List()
{
    static std::vector<TRegisteredExtension> list;
    return list;
}

std::string Upper(std::string s)
{
    if (!s.empty() && s[0] == '.')
        s.erase(0, 1);
    return QByteArray::fromStdString(s).toUpper().toStdString();
}
} // namespace

void RegisterImageExtension(const std::string& extension, const std::string& description, TGraphicFactory create)
{
    const std::string key = Upper(extension);
    for (auto& e : List()) {
        if (e.extension == key) {
            e.description = description;
            e.create = std::move(create);
            return;
        }
    }
    List().push_back({key, description, std::move(create)});
}

const TRegisteredExtension* FindImageExtension(const std::string& extension)
{
    const std::string key = Upper(extension);
    for (const auto& e : List())
        if (e.extension == key)
            return &e;
    return nullptr;
}

const std::vector<TRegisteredExtension>& RegisteredImageExtensions() { return List(); }
