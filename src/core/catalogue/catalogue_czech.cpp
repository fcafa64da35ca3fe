// Czech texts of the message catalogue (Windows locale 1029).

#include "core/catalogue/catalogue.h"

namespace {
const wchar_t* const texts[] = {
    /* 0 */ L"Spouštění instalace ",
    /* 1 */ L"Inicializace instalačního programu QuentaSwiftset",
    /* 2 */ L"Načítání dat připojení QuentaSwiftset",
    /* 3 */ L"Vytváření adresy URL připojení QuentaSwiftset",
    /* 4 */ L"Generování konfiguračních parametrů",
    /* 5 */ L"Stahování konfiguračního souboru z %ls",
    /* 6 */ L"Ověřování konfiguračního souboru",
    /* 7 */ L"Dekomprese konfiguračního souboru",
    /* 8 */ L"Stahování instalačního souboru z úložišť",
    /* 9 */ L"Ověřování instalačního souboru agenta %ls",
    /* 10 */ L"Dekomprese binárních souborů instalačního programu agenta",
    /* 11 */ L"Instalace agenta. Může to chvíli trvat...",
    /* 12 */ L"Čištění po instalaci",
    /* 13 */
    L"Instalace Quenta Agent byla dokončena. Další produkty zabezpečení budou "
    L"nainstalovány podle zásad spravovaných vaší organizací.",
    /* 14 */ L"Přerušování operací. Může to chvíli trvat...",
    /* 15 */ L"Inicializace QuentaSwiftset se nezdařila",
    /* 16 */ L"Načtení názvu QuentaSwiftset se nezdařilo",
    /* 17 */ L"Chyba při hledání adresy URL pro stažení konfiguračních dat agenta",
    /* 18 */ L"Název FQDN nelze načíst",
    /* 19 */ L"Generování identifikátoru GUID agenta se nezdařilo",
    /* 20 */ L"Generování adresy URL pro načtení konfiguračních dat",
    /* 21 */ L"Generování adresy URL pro načtení konfiguračních dat se nezdařilo",
    /* 22 */ L"Konfigurační soubor nelze stáhnout",
    /* 23 */ L"Ověření konfiguračního souboru se nezdařilo",
    /* 24 */ L"Dekomprese konfiguračního souboru se nezdařila",
    /* 25 */ L"Instalační soubor nelze stáhnout",
    /* 26 */ L"Ověření instalačního souboru agenta %ls se nezdařilo",
    /* 27 */ L"Dekomprese instalačního souboru se nezdařila",
    /* 28 */ L"Instalace agenta nebyla úspěšná",
    /* 29 */ L"Čištění není dokončeno",
    /* 30 */ L"Při operacích QuentaSwiftset agenta došlo k chybě",
    /* 31 */ L"Požadavek byl možná odeslán s neplatným nebo prošlým kódem tokenu:Odpověď: %ls",
    /* 32 */ L"Počet použití tohoto QuentaSwiftset byl možná vyčerpán:Odpověď: %ls",
    /* 33 */ L"Kód odpovědi na požadavek konfigurace: %ls",
    /* 34 */ L"Nápověda Quenta Swiftset",
    /* 35 */
    L"\n"
    L"Možnosti:-\t\t\t\n"
    L"QuentaSwiftset.exe -d <Cesta k datům>\t\t\t\n"
    L"QuentaSwiftset.exe -i <Instalační cesta>\t\t\t\n"
    L"QuentaSwiftset.exe -g <Protokol ladění>\t\t\t\n"
    L"QuentaSwiftset.exe -a <Adresa proxy serveru>\t\t\t\n"
    L"QuentaSwiftset.exe -p <Port proxy serveru>\t\t\t\n"
    L"QuentaSwiftset.exe -u <Uživatelské jméno pro proxy server>\t\t\t\n"
    L"QuentaSwiftset.exe -w <Heslo pro proxy server>\t\t\t\n"
    L"QuentaSwiftset.exe -k <Zakázat ověřování partnera HTTPS>\t\t\t\n"
    L"QuentaSwiftset.exe -s <Tichá instalace>\t\t\t\n"
    L"QuentaSwiftset.exe -v <Upozornit agenta na prostředí VDI>\t\t\t\n"
    L"QuentaSwiftset.exe -f <Vynucená instalace při nasazení agenta>\t\t\t\n"
    L"QuentaSwiftset.exe -h <Vynucená instalace s možností keepGUID při nasazení "
    L"agenta>\t\t\t\n"
    L"QuentaSwiftset.exe -? <Nápověda>",
    /* 36 */
    L"\n"
    L"Možnosti:-\t\t\t\n"
    L"QuentaSwiftset.sh -d <Cesta k datům>\t\t\t\n"
    L"QuentaSwiftset.sh -i <Instalační cesta>\t\t\t\n"
    L"QuentaSwiftset.sh -g <Protokol ladění>\t\t\t\n"
    L"QuentaSwiftset.sh -a <Adresa proxy serveru>\t\t\t\n"
    L"QuentaSwiftset.sh -p <Port proxy serveru>\t\t\t\n"
    L"QuentaSwiftset.sh -u <Uživatelské jméno pro proxy server>\t\t\t\n"
    L"QuentaSwiftset.sh -w <Heslo pro proxy server>\t\t\t\n"
    L"QuentaSwiftset.sh -k <Zakázat ověřování partnera HTTPS>\t\t\t\n"
    L"QuentaSwiftset.sh -? <Nápověda>",
    /* 37 */ L"Na příkazovém řádku byl předán neplatný identifikátor GUID\n",
    /* 38 */ L"Pokus o stažení instalačních souborů z partnerských počítačů",
    /* 39 */ L"Pokus o stažení souborů přímo z Lumacore",
    /* 40 */ L"Soubory nelze stáhnout přes proxy server. Použije se přenosový server",
    /* 41 */ L"Soubory nelze stáhnout přímo z Lumacore. Použije se proxy server",
    /* 42 */ L"Soubory nelze stáhnout přes přenosový server. Stahování souborů se nezdařilo",
    /* 43 */
    L"Tento program vyžaduje k instalaci oprávnění uživatele root. Instalační program "
    L"nemůže pokračovat",
    /* 44 */ L"Možná je spuštěna jiná instance. Počkejte prosím.",
    /* 45 */ L"Upgrade agenta nebyl úspěšný",
    /* 46 */ L"OK",
    /* 47 */ L"&Storno",
    /* 48 */ L"Soubor dat připojení neexistuje",
    /* 49 */
    L"Použití:- ./QuentaSwiftset.sh <možnosti>\n"
    L"Seznam možností zobrazíte příkazem ./QuentaSwiftset.sh -?",
    /* 50 */ L"Storno",
    /* 51 */ L"Další",
    /* 52 */ L"Klepnutím na tlačítko Další pokračujte v instalaci",
};
static_assert(sizeof texts / sizeof texts[0] == 53, "Czech holds ids 0-52");
}   // namespace

const message_table catalogue_czech = {texts, sizeof texts / sizeof texts[0]};
