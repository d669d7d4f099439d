#include "CaseJson.h"

#include "TCaseModel.h"
#include "TDicomGraphic.h"

#include <QString>
#include <QStringDecoder>

#include <cstdio>

std::string JsonText(const std::string& raw)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(QByteArray::fromStdString(raw));
    if (utf8.hasError())
        text = QString::fromLatin1(raw.data(), qsizetype(raw.size()));
    std::string out = "\"";
    for (char c : text.toStdString()) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (uint8_t(c) < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", unsigned(uint8_t(c)));
                out += buf;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

std::string CaseJson(const TCaseModel& model, int previewCount, qint64 firstImageMs, qint64 totalMs)
{
    std::string out = "{\"stacks\":[";
    bool firstStack = true;
    for (const auto& s : model.Stacks) {
        out += firstStack ? "" : ",";
        firstStack = false;
        out += "{\"source\":" + JsonText(s->Source) + ",\"patient\":" + JsonText(s->Patient) +
               ",\"study\":" + JsonText(s->StudyText) + ",\"date\":" + JsonText(s->DateText) +
               ",\"referrer\":" + JsonText(s->Referrer) + ",\"frames\":[";
        bool firstFrame = true;
        for (const auto& f : s->FrameList) {
            out += firstFrame ? "" : ",";
            firstFrame = false;
            int minValue = 0, maxValue = 0;
            int32_t center = 0, width = 0;
            if (const auto* d = dynamic_cast<const TDicomGraphic*>(f.get())) {
                minValue = d->MinValue();
                maxValue = d->MaxValue();
                d->GetWindow(center, width);
            }
            char buf[256];
            std::snprintf(buf, sizeof buf,
                          "{\"width\":%d,\"height\":%d,\"format\":\"%s\",\"min\":%d,\"max\":%d,"
                          "\"window_center\":%d,\"window_width\":%d}",
                          f->GetWidth(), f->GetHeight(), FormatName(f->ImageFormat()), minValue, maxValue, center,
                          width);
            out += buf;
        }
        out += "]}";
    }
    out += "],\"preview_count\":" + std::to_string(previewCount) +
           ",\"first_image_ms\":" + (firstImageMs < 0 ? std::string("null") : std::to_string(firstImageMs)) +
           ",\"total_ms\":" + std::to_string(totalMs) + "}";
    return out;
}
