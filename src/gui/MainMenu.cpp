#include "gui/MainMenu.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include <array>
#include <initializer_list>

#include "app/LoginPages.h"
#include "app/OptionFlags.h"
#include "settings/AppSettings.h"

namespace {

constexpr int kSeparator = 0;
const char kIdProperty[] = "commandId";

struct MenuEntry {
    int id;                  // kSeparator draws a line
    const char16_t* text;    // null: the option switch's own text
    bool checkable = false;  // option switches are checkable anyway
};

using namespace lumora;

constexpr std::array<int, 11> kLoginIds = {kLoginQzone,  kLoginTencentWeibo, kLoginBaidu, kLoginNetease,
                                           kLoginRenren, kLoginYupoo,        kLoginMoko,  kLoginSinaWeibo,
                                           kLoginTaobao, kLoginFiftySix,     kLoginCustom};

QMenu* AddPopup(QMenuBar* bar, const char16_t* title, std::initializer_list<MenuEntry> entries,
                const std::function<void(int)>& onCommand, const std::function<void(QMenu*)>& onDrop) {
    QMenu* popup = bar->addMenu(QString::fromUtf16(title));
    for (const MenuEntry& entry : entries) {
        if (entry.id == kSeparator) {
            popup->addSeparator();
            continue;
        }
        const OptionSwitch* option = FindOptionByMenuId(entry.id);
        const char16_t* text = entry.text ? entry.text : option->menuText;
        QAction* action = popup->addAction(QString::fromUtf16(text));
        action->setProperty(kIdProperty, entry.id);
        action->setCheckable(option != nullptr || entry.checkable);
        const int id = entry.id;
        QObject::connect(action, &QAction::triggered, bar, [onCommand, id] { onCommand(id); });
    }
    QObject::connect(popup, &QMenu::aboutToShow, bar, [onDrop, popup] { onDrop(popup); });
    return popup;
}

}  // namespace

bool IsLoginCommand(int id) {
    for (int login : kLoginIds) {
        if (login == id) return true;
    }
    return false;
}

void BuildMainMenu(QMenuBar* bar, const std::function<void(int)>& onCommand,
                   const std::function<void(QMenu*)>& onDrop) {
    AddPopup(bar, u"登录",
             {{kLoginQzone, u"QQ空间/QQ群"},
              {kLoginTencentWeibo, u"腾讯微博（登录时勾上下次自动登录）"},
              {kLoginBaidu, u"百度"},
              {kLoginNetease, u"网易"},
              {kLoginRenren, u"人人"},
              {kLoginYupoo, u"又拍（下载器没弹窗提示你登录，就不要在这里登录）"},
              {kLoginMoko, u"美空"},
              {kLoginSinaWeibo, u"新浪微博（登录时勾上下次自动登录）"},
              {kLoginTaobao, u"淘宝（强烈建议用小号登录）"},
              {kLoginFiftySix, u"56"},
              {kLoginCustom, u"自定义登录"}},
             onCommand, onDrop);
    QMenu* settings = AddPopup(bar, u"设置",
                               {{ID_DOWNLOAD_SETTINGS, u"下载参数设置"},
                                {ID_NAME_SETTINGS, u"文件名设置"},
                                {kSeparator, nullptr},
                                {ID_LIST_FILE_ONLY, nullptr},
                                {ID_WRITE_NAME_FILE, nullptr},
                                {kSeparator, nullptr},
                                {ID_FIX_PICTURE_ORDER, nullptr},
                                {ID_FIX_PICTURE_FORMAT, nullptr},
                                {ID_SKIP_DOWNLOADED_BEFORE, nullptr},
                                {ID_OPEN_FOLDER_WHEN_DONE, nullptr},
                                {kSeparator, nullptr},
                                {ID_ITEM_MAIN_PICTURES_ONLY, nullptr},
                                {ID_ITEM_DESCRIPTION_PICTURES_ONLY, nullptr},
                                {ID_LARGE_PICTURES, nullptr},
                                {kSeparator, nullptr},
                                {ID_SKIP_SAVED, kSkipSavedText, true},
                                {ID_SKIP_DELETED, kSkipDeletedText, true},
                                {ID_WRITE_MANIFEST, kWriteManifestText, true}},
                               onCommand, onDrop);
    // The two ways of not downloading again read alike; their tips tell them apart.
    settings->setToolTipsVisible(true);
    FindMenuAction(bar, ID_SKIP_SAVED)->setToolTip(QString::fromUtf16(kSkipSavedTip));
    FindMenuAction(bar, ID_SKIP_DELETED)
        ->setToolTip(QStringLiteral("下载队列和检查更新时，下载记录中已保存、文件已被删除的图片不再下载"));
    FindMenuAction(bar, ID_WRITE_MANIFEST)
        ->setToolTip(QStringLiteral(
            "每个相册文件夹写入 album.json：相册标题、地址和每张图片的地址、说明、文件名、大小与校验值"));
    FindMenuAction(bar, ID_SKIP_DOWNLOADED_BEFORE)->setToolTip(QString::fromUtf16(kSkipDownloadedBeforeTip));
    QMenu* transfer = AddPopup(bar, u"导入/导出",
                               {{ID_IMPORT_AND_DOWNLOAD, u"导入下载文件并开始下载"},
                                {kSeparator, nullptr},
                                {ID_EXPORT_DOWNLOAD_FILE, u"导出下载文件"},
                                {ID_EXPORT_LIST_FILE, u"导出迅雷下载列表"}},
                               onCommand, onDrop);
    transfer->menuAction()->setEnabled(false);
    // Only widens the bar.
    QAction* spacer = bar->addAction(QString(13, QLatin1Char(' ')));
    spacer->setEnabled(false);
    AddPopup(bar, u"帮助", {{ID_ABOUT, u"版本信息"}}, onCommand, onDrop);
}

int MenuActionId(const QAction* action) { return action ? action->property(kIdProperty).toInt() : 0; }

QAction* FindMenuAction(const QMenuBar* bar, int id) {
    for (QAction* top : bar->actions()) {
        if (MenuActionId(top) == id) return top;
        if (!top->menu()) continue;
        for (QAction* action : top->menu()->actions()) {
            if (MenuActionId(action) == id) return action;
        }
    }
    return nullptr;
}
