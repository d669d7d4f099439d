#pragma once
// A loader control that records what the main window asks of it. A started
// "loader" stays active until Stop; the test delivers notifications itself.
#include "ILoaderControl.h"
#include "TCaseModel.h"

#include <functional>
#include <string>
#include <vector>

class FakeLoader : public ILoaderControl {
public:
    void Start(TCaseModel& model, ILoaderClient& client, const std::string& folder) override;
    void Stop(TCaseModel& model) override;

    bool Running = false;
    ILoaderClient* Client = nullptr;
    std::vector<std::string> Started;
    int Stops = 0;          // stops of a running loader
    size_t StacksAtStop = 0; // the model's stacks when the running loader was stopped
    std::function<void()> OnStop;
};
