// Norwegian (Bokmål) texts of the message catalogue (Windows locale 1044).

#include "core/catalogue/catalogue.h"

namespace {
const wchar_t* const texts[] = {
    /* 0 */ L"Starter installasjonen ",
    /* 1 */ L"Initialiserer installasjonsprogrammet for QuentaSwiftset",
    /* 2 */ L"Henter tilkoblingsdata for QuentaSwiftset",
    /* 3 */ L"Lager tilkoblings-URL for QuentaSwiftset",
    /* 4 */ L"Genererer konfigurasjonsparametere",
    /* 5 */ L"Laster ned konfigurasjonsfilen fra %ls",
    /* 6 */ L"Bekrefter konfigurasjonsfilen",
    /* 7 */ L"Pakker ut konfigurasjonsfilen",
    /* 8 */ L"Laster ned installasjonsfilen fra repositorier",
    /* 9 */ L"Bekrefter agentens installasjonsfil %ls",
    /* 10 */ L"Pakker ut binærfilene til agentens installasjonsprogram",
    /* 11 */ L"Installerer agenten. Dette kan ta en stund...",
    /* 12 */ L"Rydder opp etter installasjonen",
    /* 13 */
    L"Installasjonen av Quenta Agent er fullført. Flere sikkerhetsprodukter blir "
    L"installert basert på policyer som administreres av organisasjonen din.",
    /* 14 */ L"Avbryter operasjonene. Dette kan ta en stund...",
    /* 15 */ L"Initialiseringen av QuentaSwiftset mislyktes",
    /* 16 */ L"Henting av QuentaSwiftset-navnet mislyktes",
    /* 17 */ L"Feil ved søk etter en URL for nedlasting av agentens konfigurasjonsdata",
    /* 18 */ L"FQDN-navnet kunne ikke hentes",
    /* 19 */ L"Generering av agentens GUID mislyktes",
    /* 20 */ L"Genererer URL for henting av konfigurasjonsdata",
    /* 21 */ L"Generering av URL for henting av konfigurasjonsdata mislyktes",
    /* 22 */ L"Kunne ikke laste ned konfigurasjonsfilen",
    /* 23 */ L"Bekreftelse av konfigurasjonsfilen mislyktes",
    /* 24 */ L"Utpakking av konfigurasjonsfilen mislyktes",
    /* 25 */ L"Kunne ikke laste ned installasjonsfilen",
    /* 26 */ L"Bekreftelse av agentens installasjonsfil %ls mislyktes",
    /* 27 */ L"Utpakking av installasjonsfilen mislyktes",
    /* 28 */ L"Installasjonen av agenten var ikke vellykket",
    /* 29 */ L"Oppryddingen er ikke fullført",
    /* 30 */ L"Det oppstod en feil under agentens QuentaSwiftset-operasjoner",
    /* 31 */ L"Forespørselen kan ha blitt sendt med en ugyldig eller utløpt tokenkode:Svar: %ls",
    /* 32 */ L"Bruksantallet for denne QuentaSwiftset kan være brukt opp:Svar: %ls",
    /* 33 */ L"Svarkode for konfigurasjonsforespørselen: %ls",
    /* 34 */ L"Hjelp for Quenta Swiftset",
    /* 35 */
    L"\n"
    L"Alternativer:-\t\t\t\n"
    L"QuentaSwiftset.exe -d <Databane>\t\t\t\n"
    L"QuentaSwiftset.exe -i <Installasjonsbane>\t\t\t\n"
    L"QuentaSwiftset.exe -g <Feilsøkingslogg>\t\t\t\n"
    L"QuentaSwiftset.exe -a <Proxyadresse>\t\t\t\n"
    L"QuentaSwiftset.exe -p <Proxyport>\t\t\t\n"
    L"QuentaSwiftset.exe -u <Proxybrukernavn>\t\t\t\n"
    L"QuentaSwiftset.exe -w <Proxypassord>\t\t\t\n"
    L"QuentaSwiftset.exe -k <Deaktiver bekreftelse av HTTPS-motpart>\t\t\t\n"
    L"QuentaSwiftset.exe -s <Stille installasjon>\t\t\t\n"
    L"QuentaSwiftset.exe -v <Gjør agenten oppmerksom på et VDI-miljø>\t\t\t\n"
    L"QuentaSwiftset.exe -f <Tvungen installasjon ved distribusjon av agenten>\t\t\t\n"
    L"QuentaSwiftset.exe -h <Tvungen installasjon med keepGUID-alternativet ved "
    L"distribusjon av agenten>\t\t\t\n"
    L"QuentaSwiftset.exe -? <Hjelp>",
    /* 36 */
    L"\n"
    L"Alternativer:-\t\t\t\n"
    L"QuentaSwiftset.sh -d <Databane>\t\t\t\n"
    L"QuentaSwiftset.sh -i <Installasjonsbane>\t\t\t\n"
    L"QuentaSwiftset.sh -g <Feilsøkingslogg>\t\t\t\n"
    L"QuentaSwiftset.sh -a <Proxyadresse>\t\t\t\n"
    L"QuentaSwiftset.sh -p <Proxyport>\t\t\t\n"
    L"QuentaSwiftset.sh -u <Proxybrukernavn>\t\t\t\n"
    L"QuentaSwiftset.sh -w <Proxypassord>\t\t\t\n"
    L"QuentaSwiftset.sh -k <Deaktiver bekreftelse av HTTPS-motpart>\t\t\t\n"
    L"QuentaSwiftset.sh -? <Hjelp>",
    /* 37 */ L"Ugyldig GUID sendt via kommandolinjen\n",
    /* 38 */ L"Prøver å laste ned installasjonsfiler fra likemenn",
    /* 39 */ L"Prøver å laste ned filer direkte fra Lumacore",
    /* 40 */ L"Kan ikke laste ned filer via proxy. Bruker relé",
    /* 41 */ L"Kan ikke laste ned filer direkte fra Lumacore. Bruker proxy",
    /* 42 */ L"Kan ikke laste ned filer via relé. Nedlastingen av filer mislyktes",
    /* 43 */
    L"Dette programmet krever root-rettigheter for å installere. Installasjonsprogrammet "
    L"kan ikke fortsette",
    /* 44 */ L"En annen forekomst kjører kanskje. Vent litt.",
    /* 45 */ L"Oppgraderingen av agenten var ikke vellykket",
    /* 46 */ L"OK",
    /* 47 */ L"A&vbryt",
    /* 48 */ L"Filen med tilkoblingsdata finnes ikke",
    /* 49 */
    L"Bruk:- ./QuentaSwiftset.sh <alternativer>\n"
    L"Kjør ./QuentaSwiftset.sh -? for å se listen over alternativer.",
    /* 50 */ L"Avbryt",
    /* 51 */ L"Neste",
    /* 52 */ L"Klikk på Neste for å fortsette installasjonen",
};
static_assert(sizeof texts / sizeof texts[0] == 53, "Norwegian (Bokmål) holds ids 0-52");
}   // namespace

const message_table catalogue_norwegian = {texts, sizeof texts / sizeof texts[0]};
