#pragma once
// The JSON report of a loaded case, as `caldris-case info` prints it.
#include <QtGlobal>

#include <string>

struct TCaseModel;

std::string CaseJson(const TCaseModel& model, int previewCount, qint64 firstImageMs, qint64 totalMs);
// A stored text as a JSON string: UTF-8 when valid, else taken as Latin-1.
std::string JsonText(const std::string& raw);
