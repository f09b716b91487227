#include "actionspage.h"

#include "engine/actions/actionrunner.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

using Key = ActionRule::Key;

QLabel *redLabel(QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setWordWrap(true);
    QPalette red = label->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    label->setPalette(red);
    return label;
}

QStringList lines(const QPlainTextEdit *edit)
{
    QStringList lines = edit->toPlainText().split(u'\n');
    lines.removeIf([](const QString &line) { return line.trimmed().isEmpty(); });
    return lines;
}

} // namespace

ActionsPage::ActionsPage(const ActionSettings &inForce, const QString &refused,
                         ActionRunner &runner, Apply<ActionSettings> apply, QWidget *parent)
    : SettingsPage(tr("Actions"), parent)
    , m_apply(std::move(apply))
    , m_runner(runner)
    , m_inForce(inForce)
    , m_list(new QListWidget(this))
    , m_add(new QPushButton(tr("&Add Action"), this))
    , m_remove(new QPushButton(tr("&Remove Action"), this))
    , m_fields(new QWidget(this))
    , m_name(new QLineEdit(m_fields))
    , m_hosts(new QLineEdit(m_fields))
    , m_runChoice(new QRadioButton(tr("Run a &program"), m_fields))
    , m_webhookChoice(new QRadioButton(tr("Post to a &webhook"), m_fields))
    , m_kind(new QStackedWidget(m_fields))
    , m_try(new QPushButton(tr("&Try"), m_fields))
    , m_result(new QLabel(m_fields))
    , m_problem(redLabel(m_fields))
{
    setObjectName(u"actionsPage"_qs);
    m_list->setObjectName(u"actionList"_qs);
    m_add->setObjectName(u"addAction"_qs);
    m_remove->setObjectName(u"removeAction"_qs);
    m_name->setObjectName(u"actionName"_qs);
    m_hosts->setObjectName(u"actionHosts"_qs);
    m_hosts->setPlaceholderText(tr("every host"));
    m_webhookChoice->setObjectName(u"actionIsWebhook"_qs);
    m_try->setObjectName(u"tryAction"_qs);
    m_try->setToolTip(tr("Sends this action a made-up batch now: one host, test-host, critical."));
    m_result->setObjectName(u"actionResult"_qs);
    m_result->setWordWrap(true);
    m_result->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_problem->setObjectName(u"actionProblem"_qs);
    for (const ActionRule &rule : inForce.rules())
        m_edited.append(rule.toJson().toObject());

    auto *about = new QLabel(tr("When hosts get into trouble or out of it, each action runs a "
                                "program or posts to a webhook, handing on the hosts as JSON, once "
                                "for each batch the notifications gather."),
                             this);
    about->setWordWrap(true);
    QLabel *const refusedNote = redLabel(this);
    refusedNote->setObjectName(u"actionsRefused"_qs);
    refusedNote->setText(refused);
    refusedNote->setVisible(!refused.isEmpty());

    auto *whenRow = new QHBoxLayout;
    for (const auto &[flag, word] : ActionRule::whenWords()) {
        const QString text = flag == ActionRule::Critical  ? tr("Critical")
                             : flag == ActionRule::Warning ? tr("Warning")
                             : flag == ActionRule::Silent  ? tr("Silent")
                                                           : tr("Back to normal");
        auto *box = new QCheckBox(text, m_fields);
        box->setObjectName(u"actionWhen_"_qs + word);
        m_when.append(box);
        whenRow->addWidget(box);
        connect(box, &QCheckBox::toggled, this, &ActionsPage::takeFields);
    }
    whenRow->addStretch(1);
    auto *kindRow = new QHBoxLayout;
    kindRow->addWidget(m_runChoice);
    kindRow->addWidget(m_webhookChoice);
    kindRow->addStretch(1);
    m_kind->addWidget(programFields());
    m_kind->addWidget(webhookFields());
    auto *tryRow = new QHBoxLayout;
    tryRow->addWidget(m_try);
    tryRow->addWidget(m_result, 1);

    auto *form = new QFormLayout(m_fields);
    form->setContentsMargins({});
    form->addRow(tr("&Name:"), m_name);
    form->addRow(tr("When hosts become:"), whenRow);
    form->addRow(tr("&Hosts:"), m_hosts);
    form->addRow(QString(),
                 new QLabel(tr("Host patterns, separated by commas: db*, web-?"), m_fields));
    form->addRow(kindRow);
    form->addRow(m_kind);
    form->addRow(tryRow);
    form->addRow(m_problem);

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(m_add);
    buttons->addWidget(m_remove);
    buttons->addStretch(1);
    auto *listRow = new QHBoxLayout;
    listRow->addWidget(m_list, 1);
    listRow->addLayout(buttons);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins({});
    layout->addWidget(about);
    layout->addWidget(refusedNote);
    layout->addLayout(listRow);
    layout->addWidget(m_fields, 1);

    for (QLineEdit *edit : {m_name, m_hosts, m_program, m_url})
        connect(edit, &QLineEdit::textChanged, this, &ActionsPage::takeFields);
    for (QPlainTextEdit *edit : {m_arguments, m_headers})
        connect(edit, &QPlainTextEdit::textChanged, this, &ActionsPage::takeFields);
    connect(m_webhookChoice, &QRadioButton::toggled, this, [this](bool webhook) {
        m_kind->setCurrentIndex(webhook ? 1 : 0);
        takeFields();
    });
    connect(m_list, &QListWidget::currentRowChanged, this, &ActionsPage::showAction);
    connect(m_add, &QPushButton::clicked, this, [this] {
        const auto taken = [this](const QString &name) {
            return std::any_of(m_edited.begin(), m_edited.end(), [&](const QJsonObject &action) {
                return action.value(Key::name).toString().compare(name, Qt::CaseInsensitive) == 0;
            });
        };
        QString name;
        for (qsizetype n = m_edited.size() + 1; name.isEmpty() || taken(name); ++n)
            name = tr("action %1").arg(n);
        m_edited.append({{Key::name, name},
                         {Key::when, QJsonArray{u"critical"_qs, u"silent"_qs}},
                         {Key::run, QJsonArray()}});
        m_list->addItem(name);
        m_list->setCurrentRow(int(m_edited.size()) - 1);
        m_name->setFocus();
        m_name->selectAll();
    });
    connect(m_remove, &QPushButton::clicked, this, [this] {
        const int row = m_list->currentRow();
        if (row < 0)
            return;
        m_edited.removeAt(row);
        delete m_list->takeItem(row);
        showAction(m_list->currentRow());
    });
    connect(m_try, &QPushButton::clicked, this, [this] {
        const int row = m_list->currentRow();
        const ActionRule rule = ActionRule::fromJson(m_edited.value(row), row + 1);
        if (row < 0 || !rule.isSound())
            return;
        m_result->setText(tr("Trying\u2026"));
        m_runner.tryRule(rule);
    });
    connect(&m_runner, &ActionRunner::attempted, this, &ActionsPage::showResults);

    for (const QJsonObject &action : std::as_const(m_edited))
        m_list->addItem(action.value(Key::name).toString());
    m_list->setCurrentRow(m_edited.isEmpty() ? -1 : 0);
    showAction(m_list->currentRow());
}

QWidget *ActionsPage::programFields()
{
    auto *page = new QWidget(m_kind);
    m_program = new QLineEdit(page);
    m_program->setObjectName(u"actionProgram"_qs);
    m_program->setPlaceholderText(tr("/usr/local/bin/page"));
    m_arguments = new QPlainTextEdit(page);
    m_arguments->setObjectName(u"actionArguments"_qs);
    m_arguments->setTabChangesFocus(true);
    m_arguments->setPlaceholderText(tr("One argument a line, as the program gets it"));
    auto *note = new QLabel(tr("Started directly, without a shell. The hosts come as JSON on its "
                               "standard input, and in SENVO_SUMMARY, SENVO_STATE and "
                               "SENVO_HOSTS. Stopped after 30 seconds."),
                            page);
    note->setWordWrap(true);
    auto *form = new QFormLayout(page);
    form->setContentsMargins({});
    form->addRow(tr("Pro&gram:"), m_program);
    form->addRow(tr("A&rguments:"), m_arguments);
    form->addRow(QString(), note);
    return page;
}

QWidget *ActionsPage::webhookFields()
{
    auto *page = new QWidget(m_kind);
    m_url = new QLineEdit(page);
    m_url->setObjectName(u"actionWebhook"_qs);
    m_url->setPlaceholderText(tr("https://example.com/hook"));
    m_headers = new QPlainTextEdit(page);
    m_headers->setObjectName(u"actionHeaders"_qs);
    m_headers->setTabChangesFocus(true);
    m_headers->setPlaceholderText(tr("Authorization: Bearer \u2026"));
    auto *note = new QLabel(tr("The hosts are posted as JSON. A server that fails or does not "
                               "answer within 10 seconds is tried again after 10 seconds, 1 "
                               "minute and 5 minutes."),
                            page);
    note->setWordWrap(true);
    auto *form = new QFormLayout(page);
    form->setContentsMargins({});
    form->addRow(tr("A&ddress:"), m_url);
    form->addRow(tr("Hea&ders:"), m_headers);
    form->addRow(QString(), note);
    return page;
}

QCheckBox *ActionsPage::whenBox(ActionRule::WhenFlag flag) const
{
    const auto &words = ActionRule::whenWords();
    for (qsizetype i = 0; i < words.size(); ++i) {
        if (words[i].first == flag)
            return m_when[i];
    }
    return nullptr;
}

QString ActionsPage::problemText() const
{
    return m_problem->text();
}

QString ActionsPage::resultText() const
{
    return m_result->text();
}

void ActionsPage::showAction(int row)
{
    m_showing = true;
    const QJsonObject action = m_edited.value(row);
    m_fields->setEnabled(row >= 0);
    m_remove->setEnabled(row >= 0);
    m_name->setText(action.value(Key::name).toString());
    const QJsonValue when = action.value(Key::when);
    const QJsonArray words = when.isUndefined() ? QJsonArray{u"critical"_qs, u"silent"_qs}
                             : when.isArray()   ? when.toArray()
                                                : QJsonArray{when};
    for (qsizetype i = 0; i < m_when.size(); ++i) {
        const QString word = ActionRule::whenWords()[i].second;
        m_when[i]->setChecked(std::any_of(words.begin(), words.end(), [&](const QJsonValue &w) {
            return w.toString().trimmed().compare(word, Qt::CaseInsensitive) == 0;
        }));
    }
    QStringList hosts;
    const QJsonValue patterns = action.value(Key::hosts);
    for (const QJsonValue pattern : patterns.isArray() ? patterns.toArray() : QJsonArray{patterns})
        hosts.append(pattern.toString());
    hosts.removeAll(QString());
    m_hosts->setText(hosts.join(u", "_qs));
    const bool webhook = action.contains(Key::webhook);
    m_webhookChoice->setChecked(webhook);
    m_runChoice->setChecked(!webhook);
    m_kind->setCurrentIndex(webhook ? 1 : 0);
    QStringList run;
    for (const QJsonValue word : action.value(Key::run).toArray())
        run.append(word.toString());
    m_program->setText(run.value(0));
    m_arguments->setPlainText(run.mid(1).join(u'\n'));
    m_url->setText(action.value(Key::webhook).toString());
    QStringList headers;
    const QJsonObject list = action.value(Key::headers).toObject();
    for (auto it = list.begin(); it != list.end(); ++it)
        headers.append(it.value().isString() ? it.key() + u": "_qs + it.value().toString()
                                             : it.key());
    m_headers->setPlainText(headers.join(u'\n'));
    m_showing = false;
    showResults();
}

void ActionsPage::takeFields()
{
    const int row = m_list->currentRow();
    if (m_showing || row < 0)
        return;
    QJsonObject action = m_edited[row];
    for (const QLatin1StringView key :
         {Key::name, Key::when, Key::hosts, Key::run, Key::webhook, Key::headers})
        action.remove(key);
    action.insert(Key::name, m_name->text().trimmed());
    QJsonArray words;
    for (qsizetype i = 0; i < m_when.size(); ++i) {
        if (m_when[i]->isChecked())
            words.append(QString(ActionRule::whenWords()[i].second));
    }
    action.insert(Key::when, words);
    QStringList hosts = m_hosts->text().split(u',');
    for (QString &host : hosts)
        host = host.trimmed();
    hosts.removeAll(QString());
    if (!hosts.isEmpty())
        action.insert(Key::hosts, QJsonArray::fromStringList(hosts));
    if (m_webhookChoice->isChecked()) {
        action.insert(Key::webhook, m_url->text().trimmed());
        QJsonObject headers;
        for (const QString &line : lines(m_headers)) {
            const qsizetype colon = line.indexOf(u':');
            // A line without a value is kept, to be named as a mistake.
            headers.insert(line.left(colon).trimmed(),
                           colon < 0 ? QJsonValue() : QJsonValue(line.mid(colon + 1).trimmed()));
        }
        if (!headers.isEmpty())
            action.insert(Key::headers, headers);
    } else {
        action.insert(Key::run, QJsonArray::fromStringList(QStringList{m_program->text().trimmed()}
                                                           + lines(m_arguments)));
    }
    m_edited[row] = action;
    showResults();
}

void ActionsPage::showResults()
{
    for (qsizetype i = 0; i < std::min<qsizetype>(m_edited.size(), m_list->count()); ++i) {
        const QString name = m_edited[i].value(Key::name).toString();
        const std::optional<ActionResult> result = m_runner.lastResult(name);
        m_list->item(int(i))->setText(result ? name + u"  \u2014  "_qs + result->text() : name);
    }
    const int row = m_list->currentRow();
    const QString name = m_edited.value(row).value(Key::name).toString();
    const std::optional<ActionResult> result = m_runner.lastResult(name);
    m_result->setText(row < 0 ? QString() : result ? result->text() : tr("Not run yet."));
    const ActionSettings settings = edited();
    const QString problem = row < 0 || row >= settings.rules().size()
                                ? QString()
                                : settings.rules()[row].errors.join(u'\n');
    m_problem->setText(problem);
    m_problem->setVisible(!problem.isEmpty());
    m_try->setEnabled(row >= 0 && problem.isEmpty());
}

ActionSettings ActionsPage::edited() const
{
    QList<ActionRule> rules;
    for (qsizetype i = 0; i < m_edited.size(); ++i)
        rules.append(ActionRule::fromJson(m_edited[i], int(i) + 1));
    return ActionSettings(rules);
}

bool ActionsPage::isChanged()
{
    QJsonObject now;
    QJsonObject before;
    edited().writeTo(now);
    m_inForce.writeTo(before);
    return now != before;
}

SettingsPage::Outcome ActionsPage::check()
{
    const QStringList errors = edited().errors();
    if (errors.isEmpty())
        return {};
    return {tr("Some actions hold a mistake, so nothing was changed:") + u"\n\n"_qs
                + errors.join(u'\n'),
            u"actionsMistaken"_qs};
}

SettingsPage::Outcome ActionsPage::apply()
{
    const ActionSettings now = edited();
    if (const QString message = m_apply(now); !message.isEmpty())
        return {message, u"actionsNotApplied"_qs};
    m_inForce = now;
    return {};
}
