// lumora-cli follow: the members whose backups sync keeps current.
#include <CLI/CLI.hpp>
#include <ctime>
#include <nlohmann/json.hpp>
#include <optional>

#include "base/FailureText.h"
#include "cli/AddressCheck.h"
#include "cli/Command.h"
#include "cli/Output.h"
#include "cli/QueueSupport.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsStore.h"
#include "text/Format.h"
#include "text/StringCtrl.h"

namespace lumora::cli {
namespace {

// "2026-12-10 05:40", local time; "从未检查" before the first sync.
std::u16string SyncTime(std::int64_t at) {
    if (at == 0) return u"从未检查";
    const std::time_t time = static_cast<std::time_t>(at);
    std::tm local{};
    localtime_r(&time, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
    return Utf8ToWide(text);
}

std::u16string FindingText(const FollowedMember& member) {
    return member.lastSyncAt == 0 ? std::u16string() : SyncFindingText(member.lastFinding);
}

class FollowCommand : public Command {
public:
    explicit FollowCommand(CLI::App& parent)
        : Command(parent.add_subcommand("follow", "the members that sync keeps a current backup of")) {
        app_->require_subcommand(1);
        add_ = app_->add_subcommand("add", "follow a member (again: change its save folder)");
        add_->add_option("ADDRESS", address_, "the member's album-space address (http:// or https://)")
            ->required()
            ->check(WebAddressValidator());
        AddSaveOption(*add_, save_, "the folder its albums are saved into (default: the last one used)");
        remove_ = app_->add_subcommand("remove", "follow a member no more (its pictures stay)");
        remove_->add_option("ADDRESS", address_, "the address as follow list shows it")->required();
        list_ = app_->add_subcommand("list", "show the members: address, space, folder, last sync, what it found");
        list_->add_flag("--json", json_, "print the members as one JSON document");
        for (CLI::App* sub : {add_, remove_, list_}) {
            sub->fallthrough();
            sub->set_help_flag("-h,--help", "print this command's help and exit");
        }
    }

    int Run(const GlobalOptions&) override {
        const char* name = add_->parsed() ? "follow add" : remove_->parsed() ? "follow remove" : "follow list";
        std::unique_ptr<FollowList> follows = OpenFollowList(name);
        if (!follows) return kExitFailure;
        const std::u16string address(TrimBlanks(Utf8ToWide(address_), kAddressBlanks));
        if (add_->parsed()) {
            SettingsStore settings(ProgramFolder(), PrintSettingsMessage);
            const std::u16string folder = ChosenSaveFolder(save_, settings.block());
            Result<bool> added = follows->Follow(address, folder);
            if (!added) return Failed(name, added.failure());
            PrintRow({*added ? u"已关注" : u"已更改保存文件夹", address, folder});
            return 0;
        }
        if (remove_->parsed()) {
            Result<bool> removed = follows->Unfollow(address);
            if (!removed) return Failed(name, removed.failure());
            if (!*removed) {
                std::fprintf(stderr, "lumora-cli %s: 没有关注 %s\n", name, address_.c_str());
                return kExitFailure;
            }
            return 0;
        }
        Result<std::vector<FollowedMember>> members = follows->Members();
        if (!members) return Failed(name, members.failure());
        if (json_) {
            nlohmann::json out = nlohmann::json::array();
            for (const FollowedMember& m : *members) {
                nlohmann::json entry = {{"address", WideToUtf8(m.address)},
                                        {"spaceName", WideToUtf8(m.spaceName)},
                                        {"saveFolder", WideToUtf8(m.saveFolder)},
                                        {"followedAt", m.followedAt},
                                        {"lastSyncAt", m.lastSyncAt}};
                if (m.lastSyncAt != 0) {
                    entry["lastSync"] = {
                        {"listRead", m.lastFinding.listRead},       {"newAlbums", m.lastFinding.newAlbums},
                        {"newPictures", m.lastFinding.newPictures}, {"failed", m.lastFinding.failed},
                        {"deleted", m.lastFinding.deleted},         {"problem", WideToUtf8(m.lastFinding.problem)}};
                }
                out.push_back(entry);
            }
            PrintJsonDocument(out);
            return 0;
        }
        for (const FollowedMember& m : *members) {
            PrintRow({m.address, m.spaceName, m.saveFolder, SyncTime(m.lastSyncAt), FindingText(m)});
        }
        return 0;
    }

private:
    static int Failed(const char* name, const Failure& failure) {
        std::fprintf(stderr, "lumora-cli %s: %s\n", name, WideToUtf8(FailureText(failure)).c_str());
        return kExitFailure;
    }

    CLI::App* add_ = nullptr;
    CLI::App* remove_ = nullptr;
    CLI::App* list_ = nullptr;
    std::string address_;
    std::optional<std::string> save_;
    bool json_ = false;
};

}  // namespace

std::unique_ptr<Command> AddFollowCommand(CLI::App& parent) { return std::make_unique<FollowCommand>(parent); }

}  // namespace lumora::cli
