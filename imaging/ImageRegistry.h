#pragma once
// Process-wide list of image classes by upper-case file extension.
// Registration happens at start-up, before any thread reads the list.
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TDibGraphic;

using TGraphicFactory = std::function<std::unique_ptr<TDibGraphic>()>;

struct TRegisteredExtension {
    std::string extension;   // upper case, without the dot
    std::string description; // as shown in file dialogs
    TGraphicFactory create;
};

void RegisterImageExtension(const std::string& extension, const std::string& description, TGraphicFactory create);
// The registered class for an extension (any case, with or without the dot), or null.
const TRegisteredExtension* FindImageExtension(const std::string& extension);
const std::vector<TRegisteredExtension>& RegisteredImageExtensions();
