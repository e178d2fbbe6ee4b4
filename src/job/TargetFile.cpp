#include "job/TargetFile.h"

#include "base/AtomicFile.h"
#include "base/Errors.h"
#include "export/Consumers.h"
#include "export/ExportTexts.h"
#include "export/HashSchemes.h"
#include "export/PasswordFile.h"
#include "job/Deployment.h"
#include "job/JobTexts.h"
#include "job/TargetKind.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>

namespace quorvane {

namespace {

constexpr std::array<std::string_view, 9> KOptions = {
    targetopt::Consumer, targetopt::Format, targetopt::Cost,  targetopt::Rounds, targetopt::Realm,
    targetopt::LineEnds, targetopt::Mode,   targetopt::Group, targetopt::After};

[[noreturn]] void Refuse(const TTarget& target, TMessage message) {
    throw EQuorvaneError(Msg(texts::TargetPrefixed, target.Name, std::move(message)));
}

std::optional<int> ParseWhole(const std::string& text) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    for (const char c : text)
        if (c < '0' || c > '9') return std::nullopt;
    return static_cast<int>(std::strtol(text.c_str(), nullptr, 10));
}

} // namespace

std::span<const std::string_view> TargetFileOptions() {
    return KOptions;
}

bool TargetReadsNames(const TTarget& target) {
    const TConsumer* reader = ConsumerByName(target.Option(targetopt::Consumer));
    return reader != nullptr && reader->ReadsNames();
}

bool ExportReadsNames(const TUserList& list, const TConsumer* consumer) {
    if (consumer != nullptr && consumer->ReadsNames()) return true;
    const std::vector<TTargetSettings> targets = ListTargets(list);
    return std::any_of(targets.begin(), targets.end(), [](const TTargetSettings& settings) {
        return TargetReadsNames(TargetOf(settings));
    });
}

const THashScheme& TargetForm(const TUserList& list, const TTargetFile& file) {
    if (file.Form != nullptr) return *file.Form;
    if (file.Consumer != nullptr) return file.Consumer->DefaultForm(list);
    return SchemeOf(list.PassType);
}

TTargetFile TargetFileOf(const TUserList& list, const TTarget& target) {
    TTargetFile f;
    if (const std::string& name = target.Option(targetopt::Consumer); !name.empty()) {
        const TConsumer* consumer = ConsumerByName(name);
        if (consumer == nullptr) Refuse(target, Msg(texts::UnknownConsumer, name, ConsumerNames()));
        // The web servers' file is what a target without a program gets.
        if (consumer != &HtpasswdConsumer()) f.Consumer = consumer;
    }
    const TConsumer& reader = f.Consumer != nullptr ? *f.Consumer : HtpasswdConsumer();
    if (const std::string& name = target.Option(targetopt::Format); !name.empty()) {
        f.Form = FormByCliName(name);
        if (f.Form == nullptr)
            Refuse(target, Msg(texts::TargetUnknownForm, name, SchemeCliNamesSentence()));
    }
    const THashScheme& form = TargetForm(list, f);
    try {
        CheckConsumerReads(reader, form);
    } catch (const EQuorvaneError& e) {
        Refuse(target, e.Message());
    }
    for (const std::string_view key : {targetopt::Cost, targetopt::Rounds}) {
        const std::string& text = target.Option(key);
        if (text.empty()) continue;
        if (form.Param == nullptr || form.Param->Name != key)
            Refuse(target,
                   Msg(texts::TargetParamNotOfForm, std::string(key), std::string(form.CliName)));
        const std::optional<int> value = ParseWhole(text);
        if (!value || *value < form.Param->Min || *value > form.Param->Max)
            Refuse(target, form.ParamRangeMessage());
        f.SchemeParam = value;
    }
    f.Realm = target.Option(targetopt::Realm);
    if (const std::string& ends = target.Option(targetopt::LineEnds); !ends.empty()) {
        if (ends != "lf" && ends != "crlf") Refuse(target, Msg(texts::TargetLineEnds, ends));
        f.UnixLineEnds = ends == "lf";
    }
    if (const std::string& mode = target.Option(targetopt::Mode); !mode.empty()) {
        f.Mode = ParseFileMode(mode);
        if (!f.Mode) Refuse(target, Msg(texts::TargetBadMode, mode));
    }
    f.Group = target.Option(targetopt::Group);
    if (const std::string& command = target.Option(targetopt::After); !command.empty())
        f.After = TAfterCommand{command};

    // What the kind cannot take is refused before anything is built or written.
    const ITargetKind* kind = FindKind(target);
    if (kind == nullptr) return f;
    const TTargetExtras takes = kind->Extras(target);
    const std::string where = TargetWhere(target);
    if ((f.Consumer != nullptr || !f.Realm.empty() || f.UnixLineEnds) && !kind->TakesGroupFile())
        Refuse(target, Msg(texts::TargetNoConsumer, where));
    if (f.After && !takes.Command) Refuse(target, Msg(texts::AfterNeedsShell, where));
    if ((f.Mode && !takes.Mode) || (!f.Group.empty() && !takes.Group))
        Refuse(target, Msg(texts::ModeOrGroupOverFtp, where));
    return f;
}

std::string TargetFileSummary(const TUserList& list, const TTargetFile& file) {
    const TConsumer& reader = file.Consumer != nullptr ? *file.Consumer : HtpasswdConsumer();
    const THashScheme& form = TargetForm(list, file);
    std::string text = std::string(reader.Name) + ", " + std::string(form.CliName);
    if (form.Param != nullptr) {
        const int param = file.SchemeParam.value_or(FormParam(list, form));
        text += " (" + std::string(form.Param->Name) + " " + std::to_string(param) + ")";
    }
    return text;
}

} // namespace quorvane
