#include "TLoaderControl.h"

#include "TLoader.h"

void TLoaderControl::Start(TCaseModel& model, ILoaderClient& client, const std::string& folder)
{
    TLoader::Start(model, client, folder);
}

void TLoaderControl::Stop(TCaseModel& model)
{
    TLoader::Stop(model);
}
