#include "gui/DlgSaveSet.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include <utility>

#include "gui/Desktop.h"
#include "gui/DialogParts.h"
#include "gui/GuiText.h"

namespace {

QLineEdit* FieldEdit(int id, const lumora::NameText& field) {
    auto* edit = new QLineEdit(ToQString(lumora::FieldText(field)));
    edit->setObjectName(QStringLiteral("control%1").arg(id));
    return edit;
}

// Radios numbered 0, 1, ... in `group`, laid out in one row; the one for
// `choice` is checked (none when the stored value is out of range).
QHBoxLayout* RadioRow(QButtonGroup* group, std::initializer_list<std::pair<int, const char16_t*>> radios, int choice) {
    auto* row = new QHBoxLayout;
    int number = 0;
    for (const auto& [id, text] : radios) {
        auto* radio = new QRadioButton(QString::fromUtf16(text));
        radio->setObjectName(QStringLiteral("control%1").arg(id));
        group->addButton(radio, number);
        radio->setChecked(number == choice);
        row->addWidget(radio);
        ++number;
    }
    row->addStretch();
    return row;
}

// "前缀" edit, "后缀" edit on one grid row.
void AddPrefixSuffixRow(QGridLayout* grid, int row, QLineEdit* prefix, QLineEdit* suffix) {
    grid->addWidget(new QLabel(QStringLiteral("前缀")), row, 0);
    grid->addWidget(prefix, row, 1);
    grid->addWidget(new QLabel(QStringLiteral("后缀")), row, 2);
    grid->addWidget(suffix, row, 3);
}

// A choice left unchanged when no radio is checked, so an out-of-range
// stored value survives OK instead of becoming 255.
void StoreChoice(std::uint8_t& field, const QButtonGroup* group) {
    if (group->checkedId() >= 0) field = static_cast<std::uint8_t>(group->checkedId());
}

}  // namespace

QString CDlgSaveSet::HelpText() {
    return QStringLiteral(
               "设置前后缀，可以在图片本来的文件名前后加上指定的字符\n如：图片本来的文件名为：lumora."
               "jpg，如果前缀为空，"
               "后缀为_com\n则最后图片名将变为lumora_com.jpg\n") +
           QStringLiteral("如果前缀为www_，后缀为_com\n则最后图片名将变为www_lumora_com.jpg\n") +
           QStringLiteral(
               "相册名那里前后缀一样\n同时，支持转义字符，当前后缀中含有转义字符时，"
               "程序会将转义字符转换为转义字符所表示的字符串\n") +
           QStringLiteral("转义字符如下（问号为英文的问号，相册名的转义字符只支持?1,?3,?9）：\n") +
           QStringLiteral(
               "?1:相册名称\n?2:图片在相册中的序号\n?3:相册在列表中的序号(格式为：1,2,3...)\n?4:未定义\n?5:"
               "未定义\n?6:选中的相册数\n?7:总共的相册数(选中的+未选中的)\n?9:相册在列表中的序号(格式为：0001,"
               "0002,0003...)") +
           // What the quoted help leaves out, beside it.
           QStringLiteral(
               "\n?8:成员的空间名(相册空间的名称)\n\n"
               "替换：把文件名中“替换”框里的文字换成“替换为”框里的文字；用 | 分隔可一次替换多处，"
               "如“替换”填 a|b，“替换为”填 x|y");
}

CDlgSaveSet::CDlgSaveSet(lumora::NameRules& rules, CDesktop& desktop, QWidget* parent, lumora::NamePreviewAlbum album)
    : QDialog(parent), rules_(rules), album_(std::move(album)), desktop_(desktop) {
    setWindowTitle(QStringLiteral("设置"));

    auto* fileGroup = new QGroupBox(QStringLiteral("文件名"), this);
    auto* fileGrid = new QGridLayout(fileGroup);
    filePrefix_ = FieldEdit(1000, rules.filePrefix);
    fileSuffix_ = FieldEdit(1001, rules.fileSuffix);
    replaceWhat_ = FieldEdit(1021, rules.replaceWhat);
    replaceWith_ = FieldEdit(1022, rules.replaceWith);
    AddPrefixSuffixRow(fileGrid, 0, filePrefix_, fileSuffix_);
    fileGrid->addWidget(new QLabel(QStringLiteral("替换")), 1, 0);
    fileGrid->addWidget(replaceWhat_, 1, 1);
    fileGrid->addWidget(new QLabel(QStringLiteral("替换为")), 1, 2);
    fileGrid->addWidget(replaceWith_, 1, 3);
    baseName_ = new QButtonGroup(this);
    fileGrid->addLayout(RadioRow(baseName_, {{1016, u"描述"}, {1017, u"序号"}, {1018, u"网址"}}, rules.baseNameChoice),
                        2, 0, 1, 4);

    auto* folderGroup = new QGroupBox(QStringLiteral("相册路径(相册名)"), this);
    auto* folderGrid = new QGridLayout(folderGroup);
    folderPrefix_ = FieldEdit(1002, rules.folderPrefix);
    folderSuffix_ = FieldEdit(1003, rules.folderSuffix);
    AddPrefixSuffixRow(folderGrid, 0, folderPrefix_, folderSuffix_);
    folder_ = new QButtonGroup(this);
    folderGrid->addLayout(RadioRow(folder_, {{1019, u"相册名"}, {1020, u"无"}}, rules.folderChoice), 1, 0, 1, 4);

    auto* help = new QLabel(QStringLiteral("<a href=\"#\">前后缀说明</a>"), this);
    help->setObjectName(QStringLiteral("control1010"));
    connect(help, &QLabel::linkActivated, this, [this] { ShowHelp(); });

    auto* buttons = OkButtonRow(this, [this] { OnOk(); });
    buttons->insertWidget(0, help);

    // What the rules make of three pictures of the album, as they are typed.
    auto* previewGroup = new QGroupBox(QStringLiteral("预览（按当前设置）"), this);
    preview_ = new QLabel(previewGroup);
    preview_->setObjectName(QStringLiteral("namePreview"));
    preview_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    preview_->setWordWrap(true);
    (new QVBoxLayout(previewGroup))->addWidget(preview_);
    for (QLineEdit* edit : {filePrefix_, fileSuffix_, replaceWhat_, replaceWith_, folderPrefix_, folderSuffix_}) {
        connect(edit, &QLineEdit::textChanged, this, [this] { UpdatePreview(); });
    }
    for (QButtonGroup* group : {baseName_, folder_}) {
        connect(group, &QButtonGroup::idToggled, this, [this] { UpdatePreview(); });
    }
    UpdatePreview();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fileGroup);
    layout->addWidget(folderGroup);
    layout->addWidget(previewGroup);
    layout->addLayout(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(380, 0)));
}

lumora::NameRules CDlgSaveSet::RulesShown() const {
    lumora::NameRules rules = rules_;
    lumora::SetFieldText(rules.filePrefix, ToU16(filePrefix_->text()));
    lumora::SetFieldText(rules.fileSuffix, ToU16(fileSuffix_->text()));
    lumora::SetFieldText(rules.replaceWhat, ToU16(replaceWhat_->text()));
    lumora::SetFieldText(rules.replaceWith, ToU16(replaceWith_->text()));
    lumora::SetFieldText(rules.folderPrefix, ToU16(folderPrefix_->text()));
    lumora::SetFieldText(rules.folderSuffix, ToU16(folderSuffix_->text()));
    StoreChoice(rules.baseNameChoice, baseName_);
    StoreChoice(rules.folderChoice, folder_);
    return rules;
}

void CDlgSaveSet::UpdatePreview() {
    const lumora::NamePreview names = lumora::PreviewNames(RulesShown(), album_);
    QString text = QStringLiteral("文件夹：") + ToQString(names.folder);
    for (const std::u16string& file : names.files) text += QStringLiteral("\n    ") + ToQString(file);
    preview_->setText(text);
}

void CDlgSaveSet::OnOk() {
    rules_ = RulesShown();
    accept();
}

void CDlgSaveSet::ShowHelp() { desktop_.Message(this, HelpText(), CDesktop::ProgramCaption()); }
