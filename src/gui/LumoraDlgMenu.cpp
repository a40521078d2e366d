// The main window's menu: its switches, settings dialogs, login pages and
// about box. Apart from the rest of the window, which lays out and runs it.
#include <QComboBox>
#include <QMenu>

#include "app/LoginPages.h"
#include "app/OptionFlags.h"
#include "gui/AboutDlg.h"
#include "gui/AlbumGrid.h"
#include "gui/ComboBox2.h"
#include "gui/DlgDownSet.h"
#include "gui/DlgSaveSet.h"
#include "gui/GuiText.h"
#include "gui/LumoraDlg.h"
#include "gui/MainMenu.h"
#include "gui/login/DlgWebOpen.h"

using namespace lumora;

void CLumoraDlg::BuildMenu() {
    BuildMainMenu(
        menuBar(), [this](int id) { OnMenuCommand(id); }, [this](QMenu* menu) { UpdateMenuStates(menu); });
}

void CLumoraDlg::UpdateMenuStates(QMenu* menu) {
    const std::uint16_t flags = controller_->CurrentNameRules().optionFlags;
    for (QAction* action : menu->actions()) {
        // Read afresh: the command line may have changed it.
        if (const AppSwitch* kept = FindAppSwitchByMenuId(MenuActionId(action))) {
            action->setChecked(controller_->CurrentAppSettings().*kept->value);
            continue;
        }
        const OptionSwitch* option = FindOptionByMenuId(MenuActionId(action));
        if (!option) continue;
        action->setChecked((flags & option->bit) != 0);
        action->setEnabled(IsOptionEnabled(option->menuId, controller_->session().siteIndex));
    }
}

void CLumoraDlg::OnMenuCommand(int id) {
    if (id < ID_FIRST_COMMAND || id > ID_LAST_COMMAND) return;
    if (FindOptionByMenuId(id)) {
        // A greyed switch belongs to another site and cannot be changed here.
        if (!IsOptionEnabled(id, controller_->session().siteIndex)) return;
        NameRules rules = controller_->CurrentNameRules();
        ToggleOption(rules.optionFlags, id);
        controller_->UpdateNameRules(rules);
        return;
    }
    if (const AppSwitch* kept = FindAppSwitchByMenuId(id)) {
        AppSettings settings = controller_->CurrentAppSettings();
        settings.*kept->value = !(settings.*kept->value);
        StoreAppSettings(settings);
        return;
    }
    if (IsLoginCommand(id)) {
        OpenLoginBrowser(id);
        return;
    }
    switch (id) {
    case ID_DOWNLOAD_SETTINGS: RunDownloadSettings(); break;
    case ID_NAME_SETTINGS: RunNameSettings(); break;
    case ID_ABOUT: {
        CAboutDlg about(runLog_.file(), this);
        about.exec();
        break;
    }
    default: break;
    }
}

void CLumoraDlg::RunDownloadSettings() {
    // The dialog edits a copy: values that failed its check and were then
    // abandoned must not reach the next download.
    DownloadParams params = controller_->CurrentDownloadParams();
    AppSettings settings = controller_->CurrentAppSettings();
    CDlgDownSet dialog(params, settings, desktop_, this);
    if (dialog.exec() != QDialog::Accepted) return;
    controller_->UpdateDownloadParams(params);
    // Another process may have changed the other settings meanwhile.
    const AppSettings edited = settings;
    settings = controller_->CurrentAppSettings();
    settings.retries = edited.retries;
    settings.limitRateKB = edited.limitRateKB;
    settings.requestDelayMs = edited.requestDelayMs;
    StoreAppSettings(settings);
}

bool CLumoraDlg::StoreAppSettings(const AppSettings& settings) {
    // The controller says so when the save fails.
    return controller_->UpdateAppSettings(settings);
}

void CLumoraDlg::RunNameSettings() {
    NameRules rules = controller_->CurrentNameRules();
    // The preview names the album picked first, else the list's first, else an example.
    NamePreviewAlbum sample;
    const SiteSession& session = controller_->session();
    const std::vector<std::size_t> picked = grid_->PickedAlbumPositions();
    if (std::optional<ST_PERLISTRECORD> album = session.albums.at(picked.empty() ? 0 : picked.front())) {
        sample.title = album->title;
        sample.position = album->position;
        sample.albumCount = static_cast<std::int32_t>(session.albums.size());
        sample.spaceName = session.spaceName;
    }
    CDlgSaveSet dialog(rules, desktop_, this, sample);
    if (dialog.exec() != QDialog::Accepted) return;
    // The switches are not the dialog's: keep whatever they are now.
    rules.optionFlags = controller_->CurrentNameRules().optionFlags;
    controller_->UpdateNameRules(rules);
}

void CLumoraDlg::OpenLoginBrowser(int id) {
    // One login browser at a time: opening one closes the previous.
    const std::u16string page = LoginStartPage(id, ToU16(address_->currentText()), subType_->currentIndex());
    lumora::gui::OpenLoginBrowser(this, ToQString(page));
}
