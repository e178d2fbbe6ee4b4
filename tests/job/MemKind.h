#pragma once
// A throwaway kind of target for the tests: "mem:NAME", a file held in this process's memory.
// It shows that a kind is one file and one registration line: the deployment runs over it as
// over any other.

#include "job/Deployment.h"
#include "job/TargetKind.h"

#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace memkind {

// The files, by name; none: not there.
class TMemFiles {
public:
    std::optional<std::string> Get(const std::string& name) {
        const std::lock_guard<std::mutex> lock(FMutex);
        const auto it = FFiles.find(name);
        if (it == FFiles.end()) return std::nullopt;
        return it->second;
    }
    void Set(const std::string& name, std::optional<std::string> content) {
        const std::lock_guard<std::mutex> lock(FMutex);
        if (content)
            FFiles[name] = std::move(*content);
        else
            FFiles.erase(name);
    }

private:
    std::mutex FMutex;
    std::map<std::string, std::string> FFiles;
};

inline TMemFiles& Files() {
    static TMemFiles files;
    return files;
}

class TMemTarget final : public quorvane::IExportTarget {
public:
    explicit TMemTarget(std::string name) : FName(std::move(name)) {}
    std::string Id() const override { return "mem:" + FName; }
    std::string Name() const override { return FName; }
    quorvane::TTargetContent Read() override {
        quorvane::TTargetContent content;
        if (const auto bytes = Files().Get(FName)) {
            content.Exists = true;
            content.Bytes = *bytes;
        }
        return content;
    }
    void Stage(const std::string& content) override { FStaged = content; }
    void Commit() override {
        if (!FStaged) throw std::logic_error("nothing staged");
        Files().Set(FName, std::move(FStaged));
        FStaged.reset();
    }
    void Rollback() noexcept override { FStaged.reset(); }

protected:
    void Remove() override { Files().Set(FName, std::nullopt); }

private:
    std::string FName;
    std::optional<std::string> FStaged;
};

class TMemSide final : public quorvane::ISideFiles {
public:
    std::unique_ptr<quorvane::IExportTarget> Open(const std::string& path) override {
        return std::make_unique<TMemTarget>(path);
    }
    std::vector<quorvane::TMessage> Write(const std::string& path,
                                          const std::string& content) override {
        Files().Set(path, content);
        return {};
    }
};

class TMemSession final : public quorvane::ITargetSession {
public:
    explicit TMemSession(std::string name) : FName(std::move(name)) {}
    void
    Run(const std::function<void(quorvane::IExportTarget&, quorvane::ISideFiles&)>& body) override {
        TMemTarget target(FName);
        TMemSide side;
        body(target, side);
    }

private:
    std::string FName;
};

class TMemKind final : public quorvane::ITargetKind {
public:
    static std::string NameOf(const quorvane::TTarget& t) { return t.Url.substr(4); }
    std::string FileName(const quorvane::TTarget& t) const override { return NameOf(t); }
    std::string Where(const quorvane::TTarget& t) const override { return t.Url; }
    std::string Id(const quorvane::TTarget& t) const override { return t.Url; }
    std::string Place(const quorvane::TTarget& t) const override { return t.Url; }
    std::optional<quorvane::TMessage> Problem(const quorvane::TTarget& t) const override {
        if (NameOf(t).empty()) return quorvane::Verbatim("mem: names no file");
        return std::nullopt;
    }
    bool TakesGroupFile() const override { return true; }
    std::string_view Name() const override { return "memory"; }
    std::vector<quorvane::TTargetOptionRow> Options(const quorvane::TTarget&) const override {
        return {};
    }
    std::unique_ptr<quorvane::ITargetSession> Open(const quorvane::TTarget& t,
                                                   const quorvane::TTargetContext&) const override {
        return std::make_unique<TMemSession>(NameOf(t));
    }
};

} // namespace memkind
