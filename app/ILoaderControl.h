#pragma once
// Starting and stopping the case loader, as the main window sees it.
// UI thread only.
#include <string>

class ILoaderClient;
struct TCaseModel;

class ILoaderControl {
public:
    virtual ~ILoaderControl() = default;
    // Starts a loader on folder and makes it the model's ActiveLoader.
    virtual void Start(TCaseModel& model, ILoaderClient& client, const std::string& folder) = 0;
    // Stops the model's ActiveLoader, if any, and waits for its end while
    // serving its notifications; ActiveLoader is null afterwards.
    virtual void Stop(TCaseModel& model) = 0;
};
