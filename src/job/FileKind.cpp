// A local password file: a plain path or "file:PATH".

#include "base/AtomicFile.h"
#include "job/JobTexts.h"
#include "job/TargetKind.h"

namespace quorvane {

namespace {

class TLocalSideFiles final : public ISideFiles {
public:
    std::unique_ptr<IExportTarget> Open(const std::string& path) override {
        return std::make_unique<TLocalFileTarget>(path);
    }
    std::vector<TMessage> Write(const std::string& path, const std::string& content) override {
        return WriteFileAtomically(path, content, 0644).Warnings;
    }
};

class TFileSession final : public ITargetSession {
public:
    TFileSession(std::string path, const TTargetContext& context)
        : FPath(std::move(path)), FContext(context) {}
    void Run(const std::function<void(IExportTarget&, ISideFiles&)>& body) override {
        TLocalFileTarget target(FPath);
        target.SetModeAndGroup(FContext.Mode, FContext.Group);
        if (FContext.Held) target.ExpectHeld(*FContext.Held);
        TLocalSideFiles side;
        body(target, side);
    }
    TAfterResult RunAfter(const TAfterCommand& command) override {
        return RunAfterCommandLocally(command, FPath);
    }

private:
    std::string FPath;
    const TTargetContext& FContext;
};

class TFileKind final : public ITargetKind {
public:
    std::string FileName(const TTarget& t) const override { return FileUrlPath(t.Url); }
    std::string Where(const TTarget& t) const override { return FileUrlPath(t.Url); }
    std::string Id(const TTarget& t) const override {
        return TLocalFileTarget(FileUrlPath(t.Url)).Id();
    }
    std::string Place(const TTarget& t) const override {
        return LocalFilePlace(FileUrlPath(t.Url));
    }
    std::optional<TMessage> Problem(const TTarget& t) const override {
        if (FileUrlPath(t.Url).empty()) return Msg(texts::TargetNoFile);
        return std::nullopt;
    }
    std::string LocalFile(const TTarget& t) const override { return FileUrlPath(t.Url); }
    bool TakesGroupFile() const override { return true; }
    // A server or a store the target pointed at stays beside the file, as the database keeps it.
    void Adopt(TTarget& t, const TTarget& before, IRandomSource&) const override {
        TTargetSettings s = SettingsOf(before);
        s.ExportToFile = true;
        s.PassFile = FileUrlPath(t.Url);
        t = TargetOf(s);
    }
    std::string_view Name() const override { return "file"; }
    std::vector<TTargetDetail> Details(const TTarget& t) const override {
        return {{"file", FileUrlPath(t.Url)}};
    }
    std::vector<TTargetOptionRow> Options(const TTarget&) const override { return {}; }
    TTargetExtras Extras(const TTarget&) const override { return {true, true, true}; }
    std::unique_ptr<ITargetSession> Open(const TTarget& t,
                                         const TTargetContext& context) const override {
        return std::make_unique<TFileSession>(FileUrlPath(t.Url), context);
    }
};

} // namespace

std::shared_ptr<const ITargetKind> FileKind() {
    return std::make_shared<TFileKind>();
}

} // namespace quorvane
