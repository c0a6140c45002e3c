#include "dialogs/frmProfileSettings.h"

#include "dialogs/frmProfileSelection.h"
#include "platform/MessageSink.h"
#include "platform/Twips.h"
#include "profiles/Profile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>

#include <algorithm>
#include <array>

frmProfileSettings::frmProfileSettings(MessageSink &messages, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      m_messages(messages), m_editor(messages)
{
    setObjectName(QStringLiteral("frmProfileSettings"));
    setWindowTitle(QStringLiteral("Profile Settings"));
    setModal(true);
    const double dpi = logicalDpiX();
    setFixedSize(Twips::toPixels(7875, dpi), Twips::toPixels(5055, dpi));

    cmdSave = new QPushButton(QStringLiteral("&Update Profile"), this);
    cmdSave->setObjectName(QStringLiteral("cmdSave"));
    cmdSave->setDefault(true);
    cmdDeleteProfile = new QPushButton(QStringLiteral("Delete Profile"), this);
    cmdDeleteProfile->setObjectName(QStringLiteral("cmdDeleteProfile"));

    SSTab1 = new QTabWidget(this);
    SSTab1->setObjectName(QStringLiteral("SSTab1"));
    auto *profilePage = new QWidget;
    auto *schedulePage = new QWidget;
    auto *rulesPage = new QWidget;
    SSTab1->addTab(profilePage, QStringLiteral("Profile"));
    SSTab1->addTab(schedulePage, QStringLiteral("Download Schedule"));
    SSTab1->addTab(rulesPage, QStringLiteral("File Storeage Rules"));
    SSTab1->setCurrentIndex(0);

    m_placements = {{SSTab1, 120, 120, 7695, 4335, false},
                    {cmdDeleteProfile, 3960, 4560, 1935, 375, false},
                    {cmdSave, 6000, 4560, 1815, 375, false}};
    buildProfileTab(profilePage);
    buildScheduleTab(schedulePage);
    buildRulesTab(rulesPage);

    // "&Update Profile" comes first; then each tab's controls in reading order.
    setTabOrder(cmdSave, cmdDeleteProfile);
    setTabOrder(cmdDeleteProfile, SSTab1);
    QWidget *previous = SSTab1;
    for (QWidget *next : std::initializer_list<QWidget *>{
             txtFirstName,   txtLastName, txtDepartment, txtURL,     txtLogin,     txtPassword,
             txtGUID,        chkSunday,   chkMonday,     chkTuesday, chkWednesday, chkThursday,
             chkFriday,      chkSaturday, cmdPoll,       listRules,  cmdAdd,       cmdDelete,
             cmbRuleChoices, txtDownload, cmdOpenDialog}) {
        setTabOrder(previous, next);
        previous = next;
    }

    connect(cmdSave, &QPushButton::clicked, this, &frmProfileSettings::onSave);
    connect(cmdDeleteProfile, &QPushButton::clicked, this, &frmProfileSettings::onDeleteProfile);
    connect(cmdAdd, &QPushButton::clicked, this, &frmProfileSettings::onAdd);
    connect(cmdDelete, &QPushButton::clicked, this, &frmProfileSettings::onDelete);
    connect(cmdOpenDialog, &QPushButton::clicked, this, &frmProfileSettings::onOpenDialog);

    FillRuleChoices();
    applyLayout();
    cmdSave->setFocus();
}

frmProfileSettings::~frmProfileSettings() = default;

QGroupBox *frmProfileSettings::tabFrame(QWidget *page, const char *name, const char *caption,
                                        const std::array<int, 4> &box)
{
    auto *frame = new QGroupBox(QLatin1String(caption), page);
    frame->setObjectName(QLatin1String(name));
    m_placements.append({frame, box[0], box[1], box[2], box[3], true});
    return frame;
}

void frmProfileSettings::buildProfileTab(QWidget *page)
{
    frameDisplaySettings =
        tabFrame(page, "frameDisplaySettings", "Identity Information", {240, 480, 7215, 3615});
    QWidget *frame = frameDisplaySettings;

    auto field = [&](QLineEdit *&edit, const char *name, const char *label, int labelLeft,
                     int labelTop, int labelWidth, int editLeft, int editTop, int editWidth) {
        auto *caption = new QLabel(QLatin1String(label), frame);
        m_placements.append({caption, labelLeft, labelTop, labelWidth, 195, false});
        edit = new QLineEdit(frame);
        edit->setObjectName(QLatin1String(name));
        caption->setBuddy(edit);
        m_placements.append({edit, editLeft, editTop, editWidth, 285, false});
    };
    field(txtFirstName, "txtFirstName", "First Name:", 240, 360, 795, 240, 600, 2295);
    field(txtLastName, "txtLastName", "Last Name:", 2760, 360, 810, 2760, 600, 2775);
    field(txtDepartment, "txtDepartment", "Department:", 240, 960, 870, 240, 1200, 5415);
    field(txtURL, "txtURL", "Website URL:", 240, 1560, 1005, 240, 1800, 5415);
    field(txtLogin, "txtLogin", "Login:", 240, 2280, 435, 240, 2520, 1695);
    // The password is shown as typed, so that it can be checked by eye.
    field(txtPassword, "txtPassword", "Password:", 2040, 2280, 735, 2040, 2520, 1695);
    field(txtGUID, "txtGUID", "GUID Checksum:", 3960, 2280, 1245, 3960, 2520, 2775);
    txtGUID->setText(QStringLiteral("XXXXX-XXXXX-XXXXX"));
}

void frmProfileSettings::buildScheduleTab(QWidget *page)
{
    frameDownloadSchedule =
        tabFrame(page, "frameDownloadSchedule", "Download Schedule", {240, 480, 7215, 3615});
    QWidget *frame = frameDownloadSchedule;

    auto *days = new QLabel(QStringLiteral("Days Of Week:"), frame);
    m_placements.append({days, 240, 360, 1215, 255, false});
    auto day = [&](QCheckBox *&box, const char *name, const char *caption, int top, int width) {
        box = new QCheckBox(QLatin1String(caption), frame);
        box->setObjectName(QLatin1String(name));
        m_placements.append({box, 240, top, width, 255, false});
    };
    day(chkSunday, "chkSunday", "Sunday", 600, 975);
    day(chkMonday, "chkMonday", "Monday", 840, 975);
    day(chkTuesday, "chkTuesday", "Tuesday", 1080, 975);
    day(chkWednesday, "chkWednesday", "Wednesday", 1320, 1215);
    day(chkThursday, "chkThursday", "Thursday", 1560, 975);
    day(chkFriday, "chkFriday", "Friday", 1800, 975);
    day(chkSaturday, "chkSaturday", "Saturday", 2040, 975);

    auto *frequency = new QLabel(QStringLiteral("Download Frequency:"), frame);
    m_placements.append({frequency, 2280, 360, 1560, 195, false});
    cmdPoll = new QComboBox(frame);
    cmdPoll->setObjectName(QStringLiteral("cmdPoll"));
    cmdPoll->addItems(ProfileEditor::pollFrequencies());
    cmdPoll->setCurrentIndex(-1);
    frequency->setBuddy(cmdPoll);
    m_placements.append({cmdPoll, 2280, 600, 1095, 315, false});

    Label1 = new QLabel(QStringLiteral("* Day Of Week download feature is not currently working "
                                       "in the Alpha test release."),
                        frame);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_placements.append({Label1, 480, 2640, 5805, 195, false});
}

void frmProfileSettings::buildRulesTab(QWidget *page)
{
    frameFileRules =
        tabFrame(page, "frameFileRules", "File Storeage Rules", {120, 480, 7455, 3735});
    QWidget *frame = frameFileRules;

    auto *current = new QLabel(QStringLiteral("Current Rules"), frame);
    m_placements.append({current, 240, 360, 960, 195, false});
    listRules = new QListWidget(frame);
    listRules->setObjectName(QStringLiteral("listRules"));
    current->setBuddy(listRules);
    m_placements.append({listRules, 240, 600, 3135, 1620, false});
    cmdAdd = new QPushButton(QStringLiteral("Add"), frame);
    cmdAdd->setObjectName(QStringLiteral("cmdAdd"));
    cmdAdd->setAutoDefault(false);
    m_placements.append({cmdAdd, 480, 2280, 1215, 375, false});
    cmdDelete = new QPushButton(QStringLiteral("Delete"), frame);
    cmdDelete->setObjectName(QStringLiteral("cmdDelete"));
    cmdDelete->setAutoDefault(false);
    m_placements.append({cmdDelete, 1800, 2280, 1215, 375, false});

    auto *choices = new QLabel(QStringLiteral("Rule Choices"), frame);
    m_placements.append({choices, 3600, 360, 945, 195, false});
    cmbRuleChoices = new QComboBox(frame);
    cmbRuleChoices->setObjectName(QStringLiteral("cmbRuleChoices"));
    cmbRuleChoices->setEditable(true);
    // A typed text is a rule of its own, not a new choice.
    cmbRuleChoices->setInsertPolicy(QComboBox::NoInsert);
    choices->setBuddy(cmbRuleChoices);
    m_placements.append({cmbRuleChoices, 3600, 600, 2535, 315, false});

    frameDownloadPath = new QGroupBox(QStringLiteral("Download Location"), frame);
    frameDownloadPath->setObjectName(QStringLiteral("frameDownloadPath"));
    m_placements.append({frameDownloadPath, 120, 2880, 7095, 615, false});
    txtDownload = new QLineEdit(frameDownloadPath);
    txtDownload->setObjectName(QStringLiteral("txtDownload"));
    m_placements.append({txtDownload, 120, 240, 6255, 285, false});
    cmdOpenDialog = new QPushButton(QStringLiteral("..."), frameDownloadPath);
    cmdOpenDialog->setObjectName(QStringLiteral("cmdOpenDialog"));
    cmdOpenDialog->setAutoDefault(false);
    cmdOpenDialog->setToolTip(QStringLiteral("Choose the download folder"));
    m_placements.append({cmdOpenDialog, 6480, 240, 375, 255, false});
}

QList<QCheckBox *> frmProfileSettings::dayBoxes() const
{
    return {chkSunday, chkMonday, chkTuesday, chkWednesday, chkThursday, chkFriday, chkSaturday};
}

void frmProfileSettings::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // The tab pages are placed now, so that their offset inside the tab
    // control is known.
    applyLayout();
}

void frmProfileSettings::applyLayout()
{
    const double dpi = logicalDpiX();
    const auto px = [dpi](int twips) {
        return Twips::toPixels(twips, dpi);
    };
    for (const Placement &placement : std::as_const(m_placements)) {
        QWidget *widget = placement.widget;
        int left = px(placement.left);
        int top = px(placement.top);
        if (placement.onTabPage) {
            // Design positions on a tab count from the tab control's corner.
            const QPoint offset = widget->parentWidget()->mapTo(SSTab1, QPoint());
            left -= offset.x();
            top -= offset.y();
        }
        int width = px(placement.width);
        int height = px(placement.height);
        // Captions and entry fields never cut their text: a label or a box
        // whose text needs more room than its design size grows to the right
        // and down.
        if (qobject_cast<QLabel *>(widget) || qobject_cast<QCheckBox *>(widget)) {
            const int available = widget->parentWidget()->width() - left - px(120);
            if (widget == Label1) {
                height = std::max(height, Label1->heightForWidth(width));
            } else {
                width = std::max(width, std::min(widget->sizeHint().width(), available));
                height = std::max(height, widget->sizeHint().height());
            }
        } else if (qobject_cast<QLineEdit *>(widget) || qobject_cast<QComboBox *>(widget)) {
            height = std::max(height, widget->minimumSizeHint().height());
        }
        widget->setGeometry(left, top, width, height);
    }
}

void frmProfileSettings::FillRuleChoices()
{
    cmbRuleChoices->addItems(ProfileEditor::ruleChoices());
    cmbRuleChoices->setCurrentIndex(-1);
    cmbRuleChoices->setEditText(QString());
}

ProfileEditor::Fields frmProfileSettings::fields() const
{
    ProfileEditor::Fields fields;
    fields.firstName = txtFirstName->text();
    fields.lastName = txtLastName->text();
    fields.department = txtDepartment->text();
    fields.url = txtURL->text();
    fields.login = txtLogin->text();
    fields.password = txtPassword->text();
    fields.guid = txtGUID->text();
    fields.downloadFolder = txtDownload->text();
    for (int row = 0; row < listRules->count(); ++row)
        fields.rules << listRules->item(row)->text();
    fields.frequency = cmdPoll->currentIndex();
    const QList<QCheckBox *> days = dayBoxes();
    for (int day = 0; day < 7; ++day)
        fields.days[size_t(day)] = days[day]->isChecked();
    return fields;
}

void frmProfileSettings::SetupFields(const QString &Path)
{
    const ProfileEditor::Fields fields = m_editor.load(Path);
    txtFirstName->setText(fields.firstName);
    txtLastName->setText(fields.lastName);
    txtDepartment->setText(fields.department);
    txtGUID->setText(fields.guid);
    txtLogin->setText(fields.login);
    txtPassword->setText(fields.password);
    const QList<QCheckBox *> days = dayBoxes();
    for (int day = 0; day < 7; ++day) {
        if (fields.days[size_t(day)])
            days[day]->setChecked(true);
    }
    txtDownload->setText(fields.downloadFolder);
    txtURL->setText(fields.url);
    listRules->addItems(fields.rules);
    cmdPoll->setCurrentIndex(fields.frequency);
}

void frmProfileSettings::report(const ProfileEditor::Outcome &outcome)
{
    QWidget *const focus[] = {nullptr,     txtFirstName, txtLastName, txtLogin,
                              txtPassword, txtGUID,      txtDownload};
    if (QWidget *field = focus[int(outcome.field)])
        field->setFocus(Qt::OtherFocusReason);
    m_messages.post(outcome.message.text, outcome.message.title, outcome.message.icon);
    if (outcome.done)
        accept();
}

bool frmProfileSettings::ValidateFields()
{
    const std::optional<ProfileEditor::Outcome> problem = m_editor.check(fields());
    if (problem)
        report(*problem);
    return !problem;
}

void frmProfileSettings::StoreFields()
{
    txtURL->setText(m_editor.store(fields()));
}

void frmProfileSettings::onSave()
{
    if (!ValidateFields())
        return;
    StoreFields();
    report(m_editor.save());
}

void frmProfileSettings::onDeleteProfile()
{
    report(m_editor.deleteProfile());
}

void frmProfileSettings::onAdd()
{
    // An empty rule would end the rule list when the file is read back.
    const QString rule = cmbRuleChoices->currentText();
    if (rule.trimmed().isEmpty())
        return;
    listRules->addItem(rule);
}

void frmProfileSettings::onDelete()
{
    const QList<QListWidgetItem *> selected = listRules->selectedItems();
    if (selected.isEmpty())
        return;
    delete selected.first();
}

void frmProfileSettings::onOpenDialog()
{
    // A window-modal chooser over the dialog; the choice arrives by signal.
    auto *chooser = new QFileDialog(this, QStringLiteral("Download Location"), txtDownload->text());
    chooser->setObjectName(QStringLiteral("folderChooser"));
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    chooser->setFileMode(QFileDialog::Directory);
    chooser->setOption(QFileDialog::ShowDirsOnly);
    connect(chooser, &QFileDialog::fileSelected, this, [this](const QString &folder) {
        txtDownload->setText(QDir::toNativeSeparators(folder));
    });
    chooser->open();
}

void frmProfileSettings::done(int result)
{
    // Every way of closing shows the outcome in the selection window.
    if (gFrmParent)
        gFrmParent->LoadProfileListEx();
    QDialog::done(result);
}
