#pragma once
// The loader control of the real case loader. UI thread only.
#include "ILoaderControl.h"

class TLoaderControl : public ILoaderControl {
public:
    void Start(TCaseModel& model, ILoaderClient& client, const std::string& folder,
               std::shared_ptr<TCaseArrivals> arrivals) override;
    void Stop(TCaseModel& model) override;
};
