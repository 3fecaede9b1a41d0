#include "handler/SpamLookup.h"

#include "common/SettingsStore.h"
#include "common/SpamModelFile.h"
#include "common/Types.h"

namespace velmo {

std::optional<SpamJudgement> LookupSpam(SettingsStore& settings, std::int32_t senderKey,
                                        const std::function<std::u16string()>& messageText) {
    if (senderKey != UnknownSenderKey && senderKey != UndefinedSenderKey) return std::nullopt;
    const std::int32_t action = settings.GetSpamAction();
    if (action == Accept) return std::nullopt;
    char16_t path[MAX_PATH] = {};
    if (!settings.AppFilePath(SpamModelFileName, path)) return std::nullopt;
    const std::optional<SpamVerdict> verdict = JudgeSpamWithFile(path, messageText());
    if (!verdict) return std::nullopt;
    return SpamJudgement{action, verdict->score, verdict->spam, verdict->heldBack};
}

}  // namespace velmo
