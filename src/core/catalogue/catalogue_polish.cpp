// Polish texts of the message catalogue (Windows locale 1045).

#include "core/catalogue/catalogue.h"

namespace {
const wchar_t* const texts[] = {
    /* 0 */ L"Rozpoczynanie instalacji ",
    /* 1 */ L"Inicjowanie instalatora QuentaSwiftset",
    /* 2 */ L"Pobieranie danych połączenia QuentaSwiftset",
    /* 3 */ L"Tworzenie adresu URL połączenia QuentaSwiftset",
    /* 4 */ L"Generowanie parametrów konfiguracji",
    /* 5 */ L"Pobieranie pliku konfiguracji z %ls",
    /* 6 */ L"Weryfikowanie pliku konfiguracji",
    /* 7 */ L"Dekompresowanie pliku konfiguracji",
    /* 8 */ L"Pobieranie pliku instalacyjnego z repozytoriów",
    /* 9 */ L"Weryfikowanie pliku instalacyjnego agenta %ls",
    /* 10 */ L"Dekompresowanie plików binarnych instalatora agenta",
    /* 11 */ L"Instalowanie agenta. Może to chwilę potrwać...",
    /* 12 */ L"Czyszczenie po instalacji",
    /* 13 */
    L"Instalacja Quenta Agent została zakończona. Kolejne produkty zabezpieczające "
    L"zostaną zainstalowane zgodnie z zasadami zarządzanymi przez Twoją organizację.",
    /* 14 */ L"Przerywanie operacji. Może to chwilę potrwać...",
    /* 15 */ L"Inicjowanie QuentaSwiftset nie powiodło się",
    /* 16 */ L"Pobieranie nazwy QuentaSwiftset nie powiodło się",
    /* 17 */ L"Błąd podczas wyszukiwania adresu URL do pobrania danych konfiguracji agenta",
    /* 18 */ L"Nie można pobrać nazwy FQDN",
    /* 19 */ L"Generowanie identyfikatora GUID agenta nie powiodło się",
    /* 20 */ L"Generowanie adresu URL do pobrania danych konfiguracji",
    /* 21 */ L"Generowanie adresu URL do pobrania danych konfiguracji nie powiodło się",
    /* 22 */ L"Nie można pobrać pliku konfiguracji",
    /* 23 */ L"Weryfikacja pliku konfiguracji nie powiodła się",
    /* 24 */ L"Dekompresja pliku konfiguracji nie powiodła się",
    /* 25 */ L"Nie można pobrać pliku instalacyjnego",
    /* 26 */ L"Weryfikacja pliku instalacyjnego agenta %ls nie powiodła się",
    /* 27 */ L"Dekompresja pliku instalacyjnego nie powiodła się",
    /* 28 */ L"Instalacja agenta nie powiodła się",
    /* 29 */ L"Czyszczenie nie zostało zakończone",
    /* 30 */ L"Wystąpił błąd podczas operacji QuentaSwiftset agenta",
    /* 31 */
    L"Żądanie mogło zostać wysłane z nieprawidłowym lub wygasłym kodem tokenu:Odpowiedź: "
    L"%ls",
    /* 32 */ L"Limit użyć tego QuentaSwiftset mógł zostać wyczerpany:Odpowiedź: %ls",
    /* 33 */ L"Kod odpowiedzi na żądanie konfiguracji: %ls",
    /* 34 */ L"Pomoc Quenta Swiftset",
    /* 35 */
    L"\n"
    L"Opcje:-\t\t\t\n"
    L"QuentaSwiftset.exe -d <Ścieżka danych>\t\t\t\n"
    L"QuentaSwiftset.exe -i <Ścieżka instalacji>\t\t\t\n"
    L"QuentaSwiftset.exe -g <Dziennik debugowania>\t\t\t\n"
    L"QuentaSwiftset.exe -a <Adres serwera proxy>\t\t\t\n"
    L"QuentaSwiftset.exe -p <Port serwera proxy>\t\t\t\n"
    L"QuentaSwiftset.exe -u <Nazwa użytkownika serwera proxy>\t\t\t\n"
    L"QuentaSwiftset.exe -w <Hasło serwera proxy>\t\t\t\n"
    L"QuentaSwiftset.exe -k <Wyłącz weryfikację elementu równorzędnego HTTPS>\t\t\t\n"
    L"QuentaSwiftset.exe -s <Instalacja dyskretna>\t\t\t\n"
    L"QuentaSwiftset.exe -v <Poinformuj agenta o środowisku VDI>\t\t\t\n"
    L"QuentaSwiftset.exe -f <Opcja wymuszonej instalacji przy wdrażaniu agenta>\t\t\t\n"
    L"QuentaSwiftset.exe -h <Wymuszona instalacja z opcją keepGUID przy wdrażaniu "
    L"agenta>\t\t\t\n"
    L"QuentaSwiftset.exe -? <Pomoc>",
    /* 36 */
    L"\n"
    L"Opcje:-\t\t\t\n"
    L"QuentaSwiftset.sh -d <Ścieżka danych>\t\t\t\n"
    L"QuentaSwiftset.sh -i <Ścieżka instalacji>\t\t\t\n"
    L"QuentaSwiftset.sh -g <Dziennik debugowania>\t\t\t\n"
    L"QuentaSwiftset.sh -a <Adres serwera proxy>\t\t\t\n"
    L"QuentaSwiftset.sh -p <Port serwera proxy>\t\t\t\n"
    L"QuentaSwiftset.sh -u <Nazwa użytkownika serwera proxy>\t\t\t\n"
    L"QuentaSwiftset.sh -w <Hasło serwera proxy>\t\t\t\n"
    L"QuentaSwiftset.sh -k <Wyłącz weryfikację elementu równorzędnego HTTPS>\t\t\t\n"
    L"QuentaSwiftset.sh -? <Pomoc>",
    /* 37 */ L"W wierszu polecenia przekazano nieprawidłowy identyfikator GUID\n",
    /* 38 */ L"Próba pobrania plików instalacyjnych z komputerów równorzędnych",
    /* 39 */ L"Próba pobrania plików bezpośrednio z Lumacore",
    /* 40 */ L"Nie można pobrać plików przez serwer proxy. Używanie przekaźnika",
    /* 41 */ L"Nie można pobrać plików bezpośrednio z Lumacore. Używanie serwera proxy",
    /* 42 */ L"Nie można pobrać plików przez przekaźnik. Pobieranie plików nie powiodło się",
    /* 43 */
    L"Ten program wymaga do instalacji uprawnień użytkownika root. Instalator nie może "
    L"kontynuować",
    /* 44 */ L"Być może działa już inne wystąpienie. Poczekaj.",
    /* 45 */ L"Uaktualnienie agenta nie powiodło się",
    /* 46 */ L"OK",
    /* 47 */ L"A&nuluj",
    /* 48 */ L"Plik danych połączenia nie istnieje",
    /* 49 */
    L"Użycie:- ./QuentaSwiftset.sh <opcje>\n"
    L"Uruchom ./QuentaSwiftset.sh -?, aby wyświetlić listę opcji.",
    /* 50 */ L"Anuluj",
    /* 51 */ L"Dalej",
    /* 52 */ L"Kliknij przycisk Dalej, aby kontynuować instalację",
};
static_assert(sizeof texts / sizeof texts[0] == 53, "Polish holds ids 0-52");
}   // namespace

const message_table catalogue_polish = {texts, sizeof texts / sizeof texts[0]};
