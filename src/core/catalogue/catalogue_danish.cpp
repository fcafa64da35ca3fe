// Danish texts of the message catalogue (Windows locale 1030).

#include "core/catalogue/catalogue.h"

namespace {
const wchar_t* const texts[] = {
    /* 0 */ L"Starter installationen ",
    /* 1 */ L"Initialiserer QuentaSwiftset-installationsprogrammet",
    /* 2 */ L"Henter QuentaSwiftset-forbindelsesdata",
    /* 3 */ L"Opretter QuentaSwiftset-forbindelses-URL",
    /* 4 */ L"Genererer konfigurationsparametre",
    /* 5 */ L"Downloader konfigurationsfil fra %ls",
    /* 6 */ L"Bekræfter konfigurationsfil",
    /* 7 */ L"Udpakker konfigurationsfil",
    /* 8 */ L"Downloader installationsfil fra lagre",
    /* 9 */ L"Bekræfter agentinstallationsfilen %ls",
    /* 10 */ L"Udpakker binære filer til agentinstallationsprogrammet",
    /* 11 */ L"Installerer agent. Dette kan tage et stykke tid...",
    /* 12 */ L"Rydder op efter installationen",
    /* 13 */
    L"Installationen af Quenta Agent er fuldført. Yderligere sikkerhedsprodukter "
    L"installeres på baggrund af politikker, der administreres af din organisation.",
    /* 14 */ L"Afbryder handlinger. Dette kan tage et stykke tid...",
    /* 15 */ L"Initialisering af QuentaSwiftset mislykkedes",
    /* 16 */ L"Hentning af QuentaSwiftset-navnet mislykkedes",
    /* 17 */ L"Fejl ved søgning efter en URL til download af agentens konfigurationsdata",
    /* 18 */ L"FQDN-navnet kunne ikke hentes",
    /* 19 */ L"Generering af agent-GUID mislykkedes",
    /* 20 */ L"Genererer URL til hentning af konfigurationsdata",
    /* 21 */ L"Generering af URL til hentning af konfigurationsdata mislykkedes",
    /* 22 */ L"Konfigurationsfilen kunne ikke downloades",
    /* 23 */ L"Bekræftelse af konfigurationsfilen mislykkedes",
    /* 24 */ L"Udpakning af konfigurationsfilen mislykkedes",
    /* 25 */ L"Installationsfilen kunne ikke downloades",
    /* 26 */ L"Bekræftelse af agentinstallationsfilen %ls mislykkedes",
    /* 27 */ L"Udpakning af installationsfilen mislykkedes",
    /* 28 */ L"Installationen af agenten lykkedes ikke",
    /* 29 */ L"Oprydningen er ikke fuldført",
    /* 30 */ L"Der opstod en fejl under agentens QuentaSwiftset-handlinger",
    /* 31 */ L"Anmodningen er muligvis sendt med en ugyldig eller udløbet tokenkode:Svar: %ls",
    /* 32 */ L"Antallet af anvendelser for denne QuentaSwiftset er muligvis opbrugt:Svar: %ls",
    /* 33 */ L"Svarkode for konfigurationsanmodning: %ls",
    /* 34 */ L"Hjælp til Quenta Swiftset",
    /* 35 */
    L"\n"
    L"Indstillinger:-\t\t\t\n"
    L"QuentaSwiftset.exe -d <Datasti>\t\t\t\n"
    L"QuentaSwiftset.exe -i <Installationssti>\t\t\t\n"
    L"QuentaSwiftset.exe -g <Fejlfindingslog>\t\t\t\n"
    L"QuentaSwiftset.exe -a <Proxyadresse>\t\t\t\n"
    L"QuentaSwiftset.exe -p <Proxyport>\t\t\t\n"
    L"QuentaSwiftset.exe -u <Proxybrugernavn>\t\t\t\n"
    L"QuentaSwiftset.exe -w <Proxyadgangskode>\t\t\t\n"
    L"QuentaSwiftset.exe -k <Deaktiver HTTPS-peerbekræftelse>\t\t\t\n"
    L"QuentaSwiftset.exe -s <Lydløs installation>\t\t\t\n"
    L"QuentaSwiftset.exe -v <Gør agenten opmærksom på et VDI-miljø>\t\t\t\n"
    L"QuentaSwiftset.exe -f <Tvungen installation ved udrulning af agenten>\t\t\t\n"
    L"QuentaSwiftset.exe -h <Tvungen installation med keepGUID-indstillingen ved "
    L"udrulning af agenten>\t\t\t\n"
    L"QuentaSwiftset.exe -? <Hjælp>",
    /* 36 */
    L"\n"
    L"Indstillinger:-\t\t\t\n"
    L"QuentaSwiftset.sh -d <Datasti>\t\t\t\n"
    L"QuentaSwiftset.sh -i <Installationssti>\t\t\t\n"
    L"QuentaSwiftset.sh -g <Fejlfindingslog>\t\t\t\n"
    L"QuentaSwiftset.sh -a <Proxyadresse>\t\t\t\n"
    L"QuentaSwiftset.sh -p <Proxyport>\t\t\t\n"
    L"QuentaSwiftset.sh -u <Proxybrugernavn>\t\t\t\n"
    L"QuentaSwiftset.sh -w <Proxyadgangskode>\t\t\t\n"
    L"QuentaSwiftset.sh -k <Deaktiver HTTPS-peerbekræftelse>\t\t\t\n"
    L"QuentaSwiftset.sh -? <Hjælp>",
    /* 37 */ L"Ugyldig GUID overført via kommandolinjen\n",
    /* 38 */ L"Forsøger at downloade installationsfiler fra peers",
    /* 39 */ L"Forsøger at downloade filer direkte fra Lumacore",
    /* 40 */ L"Filerne kan ikke downloades via proxy. Bruger relay",
    /* 41 */ L"Filerne kan ikke downloades direkte fra Lumacore. Bruger proxy",
    /* 42 */ L"Filerne kan ikke downloades via relay. Download af filer mislykkedes",
    /* 43 */
    L"Dette program kræver root-rettigheder for at installere. Installationsprogrammet "
    L"kan ikke fortsætte",
    /* 44 */ L"En anden forekomst kører muligvis. Vent venligst.",
    /* 45 */ L"Opgraderingen af agenten lykkedes ikke",
    /* 46 */ L"OK",
    /* 47 */ L"A&nnuller",
    /* 48 */ L"Filen med forbindelsesdata findes ikke",
    /* 49 */
    L"Brug:- ./QuentaSwiftset.sh <indstillinger>\n"
    L"Kør ./QuentaSwiftset.sh -? for at se listen over indstillinger.",
    /* 50 */ L"Annuller",
    /* 51 */ L"Næste",
    /* 52 */ L"Klik på Næste for at fortsætte installationen",
};
static_assert(sizeof texts / sizeof texts[0] == 53, "Danish holds ids 0-52");
}   // namespace

const message_table catalogue_danish = {texts, sizeof texts / sizeof texts[0]};
