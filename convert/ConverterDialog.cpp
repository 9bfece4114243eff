#include "ConverterDialog.h"

#include <QApplication>
#include <QKeySequence>
#include <QShortcut>
#include <QThread>

#include <algorithm>

#include "platform/dialogs/Dialog.h"
#include "platform/dialogs/MessageBox.h"
#include "MirvaneStrings.h"
#include "conversion/ConversionJob.h"
#include "settings/HelpSystem.h"

std::string ReplaceQuestion(const std::string& path)
{
    return LoadMirvaneString(IDS_FILE_WITH_NAME) + " " + path + " " + LoadMirvaneString(IDS_ALREADY_EXISTS) + ".\n" +
           LoadMirvaneString(IDS_REPLACE_IT);
}

ConverterDialog::ConverterDialog(std::string input, std::string output)
    : m_input(std::move(input)), m_output(std::move(output))
{}

ConverterDialog::~ConverterDialog() = default;

bool ConverterDialog::CreateFrame(const plat::DialogTemplate& tmpl, QWidget* parent, Buttons buttons, bool showFirst)
{
    // Windows need the GUI application and its thread.
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()) ||
        QThread::currentThread() != QCoreApplication::instance()->thread())
        return false;
    m_wnd = new plat::Dialog(tmpl, parent);
    m_wnd->OnClicked(buttons.execute, [this] { OnExecute(); });
    if (buttons.execute == 1)
        m_wnd->SetOkHandler([this] { OnExecute(); });
    m_wnd->OnClicked(buttons.close, [this] { OnClose(); });
    m_wnd->SetCancelHandler([this] { OnClose(); });
    if (buttons.help != 0) {
        m_wnd->OnClicked(buttons.help, [this] { OnHelp(); });
        auto* help = new QShortcut(QKeySequence::HelpContents, m_wnd);
        QObject::connect(help, &QShortcut::activated, m_wnd, [this] { OnHelp(); });
    }
    if (showFirst)
        m_wnd->show();
    OnInitDialog();
    if (!showFirst)
        m_wnd->show();
    return true;
}

void ConverterDialog::OnHelp()
{
    CallHelpSystem(m_wnd, HelpTopic().c_str());
}

void ConverterDialog::OnClose()
{
    m_wnd->DestroyWindow();
    m_wnd = nullptr;
    delete this;
}

bool ConverterDialog::ConfirmFiles(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs,
                                   const std::string& caption, const std::vector<std::string>& askedBefore) const
{
    ConversionJob job;
    for (const std::string& in : inputs)
        job.AddInput(in);
    for (const std::string& out : outputs)
        job.AddOutput(out);
    const plat::WindowHandle owner = m_wnd ? m_wnd->Handle() : plat::WindowHandle();
    if (const std::string refusal = job.Refusal(); !refusal.empty()) {
        plat::MessageBox(owner, refusal, caption, plat::MB_OK | plat::MB_ICONEXCLAMATION);
        return false;
    }
    for (const std::string& name : job.ExistingOutputs()) {
        const ConversionFileKey key = ConversionKeyOf(name);
        if (std::any_of(askedBefore.begin(), askedBefore.end(),
                        [&](const std::string& asked) { return ConversionKeyOf(asked) == key; }))
            continue;
        if (plat::MessageBox(owner, ReplaceQuestion(name), caption, plat::MB_YESNO | plat::MB_ICONQUESTION) !=
            plat::IDYES)
            return false;
    }
    return true;
}
