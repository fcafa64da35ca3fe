// Dutch texts of the message catalogue (Windows locale 1043).

#include "core/catalogue/catalogue.h"

namespace {
const wchar_t* const texts[] = {
    /* 0 */ L"Installatie wordt gestart ",
    /* 1 */ L"QuentaSwiftset-installatieprogramma wordt geïnitialiseerd",
    /* 2 */ L"QuentaSwiftset-verbindingsgegevens worden opgehaald",
    /* 3 */ L"QuentaSwiftset-verbindings-URL wordt gemaakt",
    /* 4 */ L"Configuratieparameters worden gegenereerd",
    /* 5 */ L"Configuratiebestand wordt gedownload van %ls",
    /* 6 */ L"Configuratiebestand wordt gecontroleerd",
    /* 7 */ L"Configuratiebestand wordt uitgepakt",
    /* 8 */ L"Installatiebestand wordt gedownload uit opslagplaatsen",
    /* 9 */ L"Installatiebestand van agent %ls wordt gecontroleerd",
    /* 10 */ L"Binaire bestanden van het agentinstallatieprogramma worden uitgepakt",
    /* 11 */ L"Agent wordt geïnstalleerd. Dit kan even duren...",
    /* 12 */ L"Opschonen na installatie",
    /* 13 */
    L"De installatie van Quenta Agent is voltooid. Andere beveiligingsproducten worden "
    L"geïnstalleerd op basis van het beleid dat door uw organisatie wordt beheerd.",
    /* 14 */ L"Bewerkingen worden afgebroken. Dit kan even duren...",
    /* 15 */ L"Initialisatie van QuentaSwiftset is mislukt",
    /* 16 */ L"Ophalen van QuentaSwiftset-naam is mislukt",
    /* 17 */ L"Fout bij het zoeken naar een URL om agentconfiguratiegegevens te downloaden",
    /* 18 */ L"FQDN-naam kan niet worden opgehaald",
    /* 19 */ L"Genereren van agent-GUID is mislukt",
    /* 20 */ L"URL om configuratiegegevens op te halen wordt gegenereerd",
    /* 21 */ L"Genereren van URL om configuratiegegevens op te halen is mislukt",
    /* 22 */ L"Kan configuratiebestand niet downloaden",
    /* 23 */ L"Controle van configuratiebestand is mislukt",
    /* 24 */ L"Uitpakken van configuratiebestand is mislukt",
    /* 25 */ L"Kan installatiebestand niet downloaden",
    /* 26 */ L"Controle van installatiebestand van agent %ls is mislukt",
    /* 27 */ L"Uitpakken van installatiebestand is mislukt",
    /* 28 */ L"Installatie van agent is niet gelukt",
    /* 29 */ L"Opschonen is niet voltooid",
    /* 30 */ L"Er is een fout opgetreden tijdens QuentaSwiftset-bewerkingen voor de agent",
    /* 31 */
    L"De aanvraag is mogelijk verzonden met een ongeldige of verlopen "
    L"tokencode:Antwoord: %ls",
    /* 32 */ L"Het gebruiksaantal van deze QuentaSwiftset is mogelijk overschreden:Antwoord: %ls",
    /* 33 */ L"Antwoordcode van configuratieaanvraag: %ls",
    /* 34 */ L"Quenta Swiftset Help",
    /* 35 */
    L"\n"
    L"Opties:-\t\t\t\n"
    L"QuentaSwiftset.exe -d <Gegevenspad>\t\t\t\n"
    L"QuentaSwiftset.exe -i <Installatiepad>\t\t\t\n"
    L"QuentaSwiftset.exe -g <Foutopsporingslogboek>\t\t\t\n"
    L"QuentaSwiftset.exe -a <Proxyadres>\t\t\t\n"
    L"QuentaSwiftset.exe -p <Proxypoort>\t\t\t\n"
    L"QuentaSwiftset.exe -u <Proxygebruikersnaam>\t\t\t\n"
    L"QuentaSwiftset.exe -w <Proxywachtwoord>\t\t\t\n"
    L"QuentaSwiftset.exe -k <HTTPS-peercontrole uitschakelen>\t\t\t\n"
    L"QuentaSwiftset.exe -s <Installatie op de achtergrond>\t\t\t\n"
    L"QuentaSwiftset.exe -v <Agent op de hoogte brengen van een VDI-omgeving>\t\t\t\n"
    L"QuentaSwiftset.exe -f <Optie voor geforceerde installatie bij "
    L"agentimplementatie>\t\t\t\n"
    L"QuentaSwiftset.exe -h <Geforceerde installatie met keepGUID-optie bij "
    L"agentimplementatie>\t\t\t\n"
    L"QuentaSwiftset.exe -? <Help>",
    /* 36 */
    L"\n"
    L"Opties:-\t\t\t\n"
    L"QuentaSwiftset.sh -d <Gegevenspad>\t\t\t\n"
    L"QuentaSwiftset.sh -i <Installatiepad>\t\t\t\n"
    L"QuentaSwiftset.sh -g <Foutopsporingslogboek>\t\t\t\n"
    L"QuentaSwiftset.sh -a <Proxyadres>\t\t\t\n"
    L"QuentaSwiftset.sh -p <Proxypoort>\t\t\t\n"
    L"QuentaSwiftset.sh -u <Proxygebruikersnaam>\t\t\t\n"
    L"QuentaSwiftset.sh -w <Proxywachtwoord>\t\t\t\n"
    L"QuentaSwiftset.sh -k <HTTPS-peercontrole uitschakelen>\t\t\t\n"
    L"QuentaSwiftset.sh -? <Help>",
    /* 37 */ L"Ongeldige GUID doorgegeven via de opdrachtregel\n",
    /* 38 */ L"Bezig met downloaden van installatiebestanden van peers",
    /* 39 */ L"Bezig met rechtstreeks downloaden van bestanden van Lumacore",
    /* 40 */ L"Kan bestanden niet downloaden via proxy. Relay wordt gebruikt",
    /* 41 */ L"Kan bestanden niet rechtstreeks van Lumacore downloaden. Proxy wordt gebruikt",
    /* 42 */ L"Kan bestanden niet downloaden via relay. Downloaden van bestanden is mislukt",
    /* 43 */
    L"Dit programma heeft rootbevoegdheden nodig voor de installatie. Het "
    L"installatieprogramma kan niet doorgaan",
    /* 44 */ L"Er wordt mogelijk al een ander exemplaar uitgevoerd. Even geduld.",
    /* 45 */ L"Upgrade van agent is niet gelukt",
    /* 46 */ L"OK",
    /* 47 */ L"A&nnuleren",
    /* 48 */ L"Bestand met verbindingsgegevens bestaat niet",
    /* 49 */
    L"Gebruik:- ./QuentaSwiftset.sh <opties>\n"
    L"Voer ./QuentaSwiftset.sh -? uit voor de lijst met opties.",
    /* 50 */ L"Annuleren",
    /* 51 */ L"Volgende",
    /* 52 */ L"Klik op Volgende om door te gaan met de installatie",
};
static_assert(sizeof texts / sizeof texts[0] == 53, "Dutch holds ids 0-52");
}   // namespace

const message_table catalogue_dutch = {texts, sizeof texts / sizeof texts[0]};
