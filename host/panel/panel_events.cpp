#include "panel_events.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace fhost {

namespace {

// Ages go over the wire only when their whole second changes, so a panel of
// thousands of fresh tags sends nothing for the tags that did not move.
const int kAgeStepMs = 1000;
// A browser whose host went away (a restart) tries again after this long.
const char* const kRetryLine = "retry: 1000\n";

std::string sseEvent(const char* name, const QJsonObject& data) {
    return std::string("event: ") + name +
           "\ndata: " + QJsonDocument(data).toJson(QJsonDocument::Compact).toStdString() + "\n\n";
}

int ageStep(const QJsonValue& age_ms) {
    return age_ms.isDouble() ? static_cast<int>(age_ms.toDouble() / kAgeStepMs) : -1;
}

bool tagChanged(const QJsonObject& before, const QJsonObject& now) {
    return before.value("values") != now.value("values") ||
           before.value("stale") != now.value("stale") ||
           ageStep(before.value("age_ms")) != ageStep(now.value("age_ms"));
}

// What a row needs to be redrawn: the tag's name and its changing fields.
QJsonArray changedTags(const QJsonArray& before, const QJsonArray& now) {
    QJsonArray out;
    for (int i = 0; i < now.size(); ++i) {
        const QJsonObject t = now.at(i).toObject();
        if (i < before.size() && !tagChanged(before.at(i).toObject(), t)) continue;
        out.append(QJsonObject{{"name", t.value("name")},
                               {"values", t.value("values")},
                               {"typed", t.value("typed")},
                               {"stale", t.value("stale")},
                               {"age_ms", t.value("age_ms")}});
    }
    return out;
}

} // namespace

std::string PanelEventStream::next(const StateDocument& next_document) {
    const StateDocument before_document = std::move(last_);
    last_ = next_document;
    const QJsonObject& document = *next_document;
    if (!started_) {
        started_ = true;
        return kRetryLine + sseEvent("state", document);
    }
    const QJsonObject& before = *before_document;
    QJsonObject update{
        {"status", document.value("status")},
        {"tags", changedTags(before.value("tags").toArray(), document.value("tags").toArray())}};
    for (const char* part :
         {"stations", "actions", "notices", "notices_left_out", "read_blocks", "frames_per_pass"})
        if (before.value(part) != document.value(part)) update.insert(part, document.value(part));
    return sseEvent("update", update);
}

} // namespace fhost
