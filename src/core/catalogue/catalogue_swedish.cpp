// Swedish texts of the message catalogue (Windows locale 1053).

#include "core/catalogue/catalogue.h"

namespace {
const wchar_t* const texts[] = {
    /* 0 */ L"Installationen startar ",
    /* 1 */ L"Initierar installationsprogrammet för QuentaSwiftset",
    /* 2 */ L"Hämtar anslutningsdata för QuentaSwiftset",
    /* 3 */ L"Skapar anslutnings-URL för QuentaSwiftset",
    /* 4 */ L"Genererar konfigurationsparametrar",
    /* 5 */ L"Hämtar konfigurationsfilen från %ls",
    /* 6 */ L"Verifierar konfigurationsfilen",
    /* 7 */ L"Packar upp konfigurationsfilen",
    /* 8 */ L"Hämtar installationsfilen från databaser",
    /* 9 */ L"Verifierar agentens installationsfil %ls",
    /* 10 */ L"Packar upp agentinstallationsprogrammets binärfiler",
    /* 11 */ L"Installerar agenten. Det här kan ta en stund...",
    /* 12 */ L"Rensar efter installationen",
    /* 13 */
    L"Installationen av Quenta Agent är klar. Fler säkerhetsprodukter installeras enligt "
    L"principer som hanteras av din organisation.",
    /* 14 */ L"Avbryter åtgärderna. Det här kan ta en stund...",
    /* 15 */ L"Det gick inte att initiera QuentaSwiftset",
    /* 16 */ L"Det gick inte att hämta namnet på QuentaSwiftset",
    /* 17 */ L"Det gick inte att hitta en URL för att hämta agentens konfigurationsdata",
    /* 18 */ L"FQDN-namnet kunde inte hämtas",
    /* 19 */ L"Det gick inte att generera agentens GUID",
    /* 20 */ L"Genererar URL för att hämta konfigurationsdata",
    /* 21 */ L"Det gick inte att generera URL för att hämta konfigurationsdata",
    /* 22 */ L"Det gick inte att hämta konfigurationsfilen",
    /* 23 */ L"Det gick inte att verifiera konfigurationsfilen",
    /* 24 */ L"Det gick inte att packa upp konfigurationsfilen",
    /* 25 */ L"Det gick inte att hämta installationsfilen",
    /* 26 */ L"Det gick inte att verifiera agentens installationsfil %ls",
    /* 27 */ L"Det gick inte att packa upp installationsfilen",
    /* 28 */ L"Installationen av agenten misslyckades",
    /* 29 */ L"Rensningen är inte klar",
    /* 30 */ L"Ett fel uppstod under agentens QuentaSwiftset-åtgärder",
    /* 31 */ L"Begäran kan ha skickats med en ogiltig eller utgången tokenkod:Svar: %ls",
    /* 32 */ L"Antalet användningar för denna QuentaSwiftset kan vara förbrukat:Svar: %ls",
    /* 33 */ L"Svarskod för konfigurationsbegäran: %ls",
    /* 34 */ L"Hjälp för Quenta Swiftset",
    /* 35 */
    L"\n"
    L"Alternativ:-\t\t\t\n"
    L"QuentaSwiftset.exe -d <Datasökväg>\t\t\t\n"
    L"QuentaSwiftset.exe -i <Installationssökväg>\t\t\t\n"
    L"QuentaSwiftset.exe -g <Felsökningslogg>\t\t\t\n"
    L"QuentaSwiftset.exe -a <Proxyadress>\t\t\t\n"
    L"QuentaSwiftset.exe -p <Proxyport>\t\t\t\n"
    L"QuentaSwiftset.exe -u <Proxyanvändarnamn>\t\t\t\n"
    L"QuentaSwiftset.exe -w <Proxylösenord>\t\t\t\n"
    L"QuentaSwiftset.exe -k <Inaktivera verifiering av HTTPS-peer>\t\t\t\n"
    L"QuentaSwiftset.exe -s <Tyst installation>\t\t\t\n"
    L"QuentaSwiftset.exe -v <Gör agenten medveten om en VDI-miljö>\t\t\t\n"
    L"QuentaSwiftset.exe -f <Tvingad installation vid distribution av agenten>\t\t\t\n"
    L"QuentaSwiftset.exe -h <Tvingad installation med alternativet keepGUID vid "
    L"distribution av agenten>\t\t\t\n"
    L"QuentaSwiftset.exe -? <Hjälp>",
    /* 36 */
    L"\n"
    L"Alternativ:-\t\t\t\n"
    L"QuentaSwiftset.sh -d <Datasökväg>\t\t\t\n"
    L"QuentaSwiftset.sh -i <Installationssökväg>\t\t\t\n"
    L"QuentaSwiftset.sh -g <Felsökningslogg>\t\t\t\n"
    L"QuentaSwiftset.sh -a <Proxyadress>\t\t\t\n"
    L"QuentaSwiftset.sh -p <Proxyport>\t\t\t\n"
    L"QuentaSwiftset.sh -u <Proxyanvändarnamn>\t\t\t\n"
    L"QuentaSwiftset.sh -w <Proxylösenord>\t\t\t\n"
    L"QuentaSwiftset.sh -k <Inaktivera verifiering av HTTPS-peer>\t\t\t\n"
    L"QuentaSwiftset.sh -? <Hjälp>",
    /* 37 */ L"Ogiltigt GUID angavs på kommandoraden\n",
    /* 38 */ L"Försöker hämta installationsfiler från peer-datorer",
    /* 39 */ L"Försöker hämta filer direkt från Lumacore",
    /* 40 */ L"Det går inte att hämta filer via proxy. Använder relä",
    /* 41 */ L"Det går inte att hämta filer direkt från Lumacore. Använder proxy",
    /* 42 */ L"Det går inte att hämta filer via relä. Hämtningen av filer misslyckades",
    /* 43 */
    L"Programmet kräver root-behörighet för att installera. Installationsprogrammet kan "
    L"inte fortsätta",
    /* 44 */ L"En annan instans kanske körs. Vänta.",
    /* 45 */ L"Uppgraderingen av agenten misslyckades",
    /* 46 */ L"OK",
    /* 47 */ L"A&vbryt",
    /* 48 */ L"Filen med anslutningsdata finns inte",
    /* 49 */
    L"Användning:- ./QuentaSwiftset.sh <alternativ>\n"
    L"Kör ./QuentaSwiftset.sh -? för att visa alternativen.",
    /* 50 */ L"Avbryt",
    /* 51 */ L"Nästa",
    /* 52 */ L"Klicka på Nästa för att fortsätta med installationen",
};
static_assert(sizeof texts / sizeof texts[0] == 53, "Swedish holds ids 0-52");
}   // namespace

const message_table catalogue_swedish = {texts, sizeof texts / sizeof texts[0]};
