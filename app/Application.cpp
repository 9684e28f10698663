#include "app/Application.h"

#include <cassert>

#include "app/Main.h"
#include "app/frmGlobalOptions.h"
#include "app/frmNFO.h"
#include "listing/frmReport.h"
#include "profiles/frmOptions.h"
#include "widgets/FlatWidgets.h"
#include "widgets/QtConvert.h"

std::string ComboStyleBox::Text() const
{
    assert(m_box);
    return m_box->Text().toStdString();
}

void ComboStyleBox::SetText(const std::string& text)
{
    assert(m_box);
    m_box->SetText(QString::fromStdString(text));
}

std::vector<std::string> ComboStyleBox::Items() const
{
    assert(m_box);
    return ToStdStrings(m_box->Items());
}

void ComboStyleBox::SetItems(const std::vector<std::string>& items)
{
    assert(m_box);
    m_box->SetItems(ToQStringList(items));
}

void WindowProfileHost::Attach(TFlatComboBox* mainStyles, TFlatComboBox* defaultStyles,
                               TForm3* profileOptions)
{
    m_mainStyles.Attach(mainStyles);
    m_defaultStyles.Attach(defaultStyles);
    m_profileOptions = profileOptions;
}

void WindowProfileHost::FormatChanged(Profiles::ListFormat listFormat)
{
    if (m_profileOptions) {
        m_profileOptions->FormatChanged(listFormat);
    }
}

Application::Application(Dialogs& dialogs, ModalRunner showModal, const QStringList& arguments,
                         std::string programPath)
{
    // The main window comes first: its creation reads the command line
    // before any other window exists.
    m_form1 =
        std::make_unique<TForm1>(dialogs, m_profile, m_options, m_host, programPath, arguments);
    m_host.Attach(m_form1->FlatComboBox1, nullptr, nullptr);
    m_form3 = std::make_unique<TForm3>(dialogs, m_profile, m_host, m_form1.get());
    m_form4 = std::make_unique<TForm4>(dialogs, m_form1.get());
    m_form5 =
        std::make_unique<TForm5>(dialogs, m_options, m_profile, m_host, programPath, m_form1.get());
    m_form6 = std::make_unique<TForm6>(dialogs, m_form1.get());
    m_host.Attach(m_form1->FlatComboBox1, m_form5->cmbStyles, m_form3.get());

    TForm1* main = m_form1.get();
    m_form1->SetLinks(MainWindowLinks{.ProfileOptions = m_form3.get(),
                                      .Report = m_form4.get(),
                                      .GlobalOptions = m_form5.get(),
                                      .Info = m_form6.get(),
                                      .ShowModal = std::move(showModal)});
    m_form3->SetLinks(ProfileDialogLinks{.ClearOutputBox = [main] { main->ClearOutputBox(); },
                                         .MainStyleChanged = [main] { main->StyleChanged(); }});
    m_form5->SetLinks(GlobalOptionsLinks{
        .FavouritesChanged = [main] { main->ShowFavourites(); },
        .DefaultStyleChosen = [main](const std::string& name) { main->ChooseStyle(name); }});
}

Application::~Application() = default;
