#include "dialogs/frmProfileSettings.h"

#include "dialogs/frmProfileSelection.h"
#include "platform/MessageSink.h"
#include "platform/Twips.h"
#include "profiles/Profile.h"
#include "service/ServiceUrls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>

#include <algorithm>
#include <array>

namespace {

struct Frequency
{
    const char *item;
    qint32 minutes;
};

constexpr std::array<Frequency, 6> frequencies{{{"15 Mins.", 15},
                                                {"30 Mins.", 30},
                                                {"45 Mins.", 45},
                                                {"1 Hr.", 60},
                                                {"2 Hrs.", 120},
                                                {"3 Hrs.", 180}}};

const QString invalidTitle = QStringLiteral("Invalid Information");

bool isBlank(const QString &text)
{
    return text.trimmed().isEmpty();
}

} // namespace

QStringList frmProfileSettings::pollFrequencies()
{
    QStringList items;
    for (const Frequency &frequency : frequencies)
        items << QLatin1String(frequency.item);
    return items;
}

qint32 frmProfileSettings::pollMinutes(int index)
{
    return index >= 0 && index < int(frequencies.size()) ? frequencies[size_t(index)].minutes : 0;
}

QStringList frmProfileSettings::ruleChoices()
{
    return {QStringLiteral("Job Name"),
            QStringLiteral("Object ID"),
            QStringLiteral("Reference"),
            QStringLiteral("Open Date/Time (yyyymmdd)"),
            QStringLiteral("Open Date/Time (yyyymmdd_hhnnss)"),
            QStringLiteral("Open Date/Time (hhnnss)"),
            QStringLiteral("Demographic 1"),
            QStringLiteral("Demographic 2"),
            QStringLiteral("Demographic 3"),
            QStringLiteral("Dictator Name (First,Last)"),
            QStringLiteral("Dictator Name (Last,First)")};
}

frmProfileSettings::frmProfileSettings(MessageSink &messages, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      m_messages(messages), m_profile(std::make_unique<Profile>(messages))
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
    cmdPoll->addItems(pollFrequencies());
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
    cmbRuleChoices->addItems(ruleChoices());
    cmbRuleChoices->setCurrentIndex(-1);
    cmbRuleChoices->setEditText(QString());
}

void frmProfileSettings::SetupFields(const QString &Path)
{
    m_profile = std::make_unique<Profile>(m_messages);
    m_profile->LoadProfileFromXMLFile(Path);
    const Profile &profile = *m_profile;
    txtFirstName->setText(profile.GetFirstName());
    txtLastName->setText(profile.GetLastName());
    txtDepartment->setText(profile.GetDepartment());
    txtGUID->setText(profile.GetGUID());
    txtLogin->setText(profile.GetLogin());
    txtPassword->setText(profile.GetPassword());
    const QList<QCheckBox *> days = dayBoxes();
    for (quint8 day = 1; day <= 7; ++day) {
        if (profile.DayOfWeekChecked(day))
            days[day - 1]->setChecked(true);
    }
    txtDownload->setText(profile.GetDownloadFolder());
    txtURL->setText(profile.GetURL());
    for (const QString &rule : profile.colDownloadRules)
        listRules->addItem(rule);

    cmdPoll->setCurrentIndex(-1);
    for (size_t i = 0; i < frequencies.size(); ++i) {
        if (frequencies[i].minutes == profile.gLngPollInterval)
            cmdPoll->setCurrentIndex(int(i));
    }
    if (txtURL->text().isEmpty())
        txtURL->setText(QLatin1String(ServiceUrls::defaultBaseUrl));
    if (listRules->count() == 0)
        listRules->addItem(QStringLiteral("Job Name"));
}

void frmProfileSettings::invalid(QWidget *focus, const QString &text)
{
    if (focus)
        focus->setFocus(Qt::OtherFocusReason);
    m_messages.post(text, invalidTitle, MessageIcon::Information);
}

bool frmProfileSettings::ValidateFields()
{
    const struct
    {
        QLineEdit *field;
        const char *message;
    } checks[] = {{txtFirstName, "'First Name' field must not be empty"},
                  {txtLastName, "'Last Name' field must not be empty"},
                  {txtLogin, "'Login' field must not be empty"},
                  {txtPassword, "'Password' field must not be empty"},
                  {txtGUID, "'GUID' field must not be empty"},
                  {txtDownload, "'Download Location' field must not be empty"}};
    for (const auto &check : checks) {
        if (isBlank(check.field->text())) {
            invalid(check.field, QLatin1String(check.message));
            return false;
        }
    }
    if (listRules->count() == 0) {
        invalid(nullptr, QStringLiteral("You must specify at least 1 'Download Rule'"));
        return false;
    }
    return true;
}

void frmProfileSettings::StoreFields()
{
    const QString url = txtURL->text();
    if (!url.isEmpty() && !url.endsWith(QLatin1Char('/')))
        txtURL->setText(url + QLatin1Char('/'));

    Profile &profile = *m_profile;
    profile.gLastName = txtLastName->text();
    profile.gFirstName = txtFirstName->text();
    profile.gDepartment = txtDepartment->text();
    profile.gLogin = txtLogin->text();
    profile.gPassword = txtPassword->text();
    profile.gStrDownloadFolder = txtDownload->text();
    profile.gGUID = txtGUID->text();
    profile.gStrBaseURL = txtURL->text();

    profile.colDownloadRules.clear();
    for (int row = 0; row < listRules->count(); ++row)
        profile.colDownloadRules << listRules->item(row)->text();

    const QString chosen = cmdPoll->currentText();
    for (const Frequency &frequency : frequencies) {
        if (chosen == QLatin1String(frequency.item))
            profile.gLngPollInterval = frequency.minutes;
    }
    // The day boxes are not read: the schedule is not stored yet (Label1).
}

void frmProfileSettings::onSave()
{
    if (!ValidateFields())
        return;
    StoreFields();
    Profile &profile = *m_profile;
    if (profile.gStrProfilePath.isEmpty()) {
        // A new profile's file is named after the person: the name must make
        // a file name, and must not be taken by another profile.
        const struct
        {
            QLineEdit *field;
            const char *caption;
        } names[] = {{txtFirstName, "First Name"}, {txtLastName, "Last Name"}};
        for (const auto &name : names) {
            if (!Profile::isValidFileNamePart(name.field->text())) {
                invalid(name.field, QStringLiteral("'%1' must not hold any of the characters "
                                                   "/ \\ : * ? \" < > |")
                                        .arg(QLatin1String(name.caption)));
                return;
            }
        }
        if (QFileInfo::exists(profile.NewProfilePath())) {
            invalid(txtFirstName,
                    QStringLiteral("A profile named '%1 %2' already exists. Change the name, or "
                                   "edit that profile instead.")
                        .arg(profile.gFirstName, profile.gLastName));
            return;
        }
    }
    if (!profile.SaveProfileToXML(profile.gStrProfilePath)) {
        m_messages.post(QStringLiteral("Error Saving Profile To Disk"), QString(),
                        MessageIcon::Critical);
        return;
    }
    m_messages.post(QStringLiteral("Profile Has Been Updated"), QString(), MessageIcon::None);
    accept();
}

void frmProfileSettings::onDeleteProfile()
{
    const Profile &profile = *m_profile;
    const QString title = QStringLiteral("Profile Deleted");
    if (profile.gStrProfilePath.isEmpty()) {
        m_messages.post(QStringLiteral("This profile has not been saved yet, so there is no "
                                       "profile file to delete."),
                        title, MessageIcon::Exclamation);
        return;
    }
    if (!QFileInfo::exists(profile.gStrProfilePath)) {
        m_messages.post(QStringLiteral("The profile file '%1' no longer exists; nothing was "
                                       "deleted.")
                            .arg(QDir::toNativeSeparators(profile.gStrProfilePath)),
                        title, MessageIcon::Exclamation);
        return;
    }
    if (!profile.DeleteProfile()) {
        m_messages.post(QStringLiteral("The profile file '%1' could not be deleted.")
                            .arg(QDir::toNativeSeparators(profile.gStrProfilePath)),
                        title, MessageIcon::Exclamation);
        return;
    }
    m_messages.post(QStringLiteral("Profile Has Been Deleted!"), title, MessageIcon::Exclamation);
    accept();
}

void frmProfileSettings::onAdd()
{
    // An empty rule would end the rule list when the file is read back.
    const QString rule = cmbRuleChoices->currentText();
    if (isBlank(rule))
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
