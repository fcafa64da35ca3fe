// German texts of the message catalogue (Windows locale 1031).

#include "core/catalogue/catalogue.h"

namespace {
const wchar_t* const texts[] = {
    /* 0 */ L"Installation wird gestartet ",
    /* 1 */ L"QuentaSwiftset-Installationsprogramm wird initialisiert",
    /* 2 */ L"QuentaSwiftset-Verbindungsdaten werden abgerufen",
    /* 3 */ L"QuentaSwiftset-Verbindungs-URL wird erstellt",
    /* 4 */ L"Konfigurationsparameter werden generiert",
    /* 5 */ L"Konfigurationsdatei wird von %ls heruntergeladen",
    /* 6 */ L"Konfigurationsdatei wird überprüft",
    /* 7 */ L"Konfigurationsdatei wird dekomprimiert",
    /* 8 */ L"Installationsdatei wird aus Repositorys heruntergeladen",
    /* 9 */ L"Agent-Installationsdatei %ls wird überprüft",
    /* 10 */ L"Binärdateien des Agent-Installationsprogramms werden dekomprimiert",
    /* 11 */ L"Agent wird installiert. Dies kann eine Weile dauern...",
    /* 12 */ L"Bereinigung nach der Installation",
    /* 13 */
    L"Die Installation von Quenta Agent ist abgeschlossen. Weitere Sicherheitsprodukte "
    L"werden gemäß den von Ihrer Organisation verwalteten Richtlinien installiert.",
    /* 14 */ L"Vorgänge werden abgebrochen. Dies kann eine Weile dauern...",
    /* 15 */ L"Initialisierung von QuentaSwiftset fehlgeschlagen",
    /* 16 */ L"Abrufen des QuentaSwiftset-Namens fehlgeschlagen",
    /* 17 */ L"Fehler beim Ermitteln einer URL zum Herunterladen der Agent-Konfigurationsdaten",
    /* 18 */ L"FQDN-Name konnte nicht abgerufen werden",
    /* 19 */ L"Generierung der Agent-GUID fehlgeschlagen",
    /* 20 */ L"URL zum Abrufen der Konfigurationsdaten wird generiert",
    /* 21 */ L"Generierung der URL zum Abrufen der Konfigurationsdaten fehlgeschlagen",
    /* 22 */ L"Konfigurationsdatei konnte nicht heruntergeladen werden",
    /* 23 */ L"Überprüfung der Konfigurationsdatei fehlgeschlagen",
    /* 24 */ L"Dekomprimierung der Konfigurationsdatei fehlgeschlagen",
    /* 25 */ L"Installationsdatei konnte nicht heruntergeladen werden",
    /* 26 */ L"Überprüfung der Agent-Installationsdatei %ls fehlgeschlagen",
    /* 27 */ L"Dekomprimierung der Installationsdatei fehlgeschlagen",
    /* 28 */ L"Die Agent-Installation war nicht erfolgreich",
    /* 29 */ L"Bereinigung ist nicht abgeschlossen",
    /* 30 */ L"Bei QuentaSwiftset-Vorgängen für den Agent ist ein Fehler aufgetreten",
    /* 31 */
    L"Anforderung wurde möglicherweise mit ungültigem oder abgelaufenem Tokencode "
    L"gesendet:Antwort: %ls",
    /* 32 */ L"Die Nutzungsanzahl dieses QuentaSwiftset ist möglicherweise erschöpft:Antwort: %ls",
    /* 33 */ L"Antwortcode der Konfigurationsanforderung: %ls",
    /* 34 */ L"Quenta Swiftset-Hilfe",
    /* 35 */
    L"\n"
    L"Optionen:-\t\t\t\n"
    L"QuentaSwiftset.exe -d <Datenpfad>\t\t\t\n"
    L"QuentaSwiftset.exe -i <Installationspfad>\t\t\t\n"
    L"QuentaSwiftset.exe -g <Debug-Protokoll>\t\t\t\n"
    L"QuentaSwiftset.exe -a <Proxy-Adresse>\t\t\t\n"
    L"QuentaSwiftset.exe -p <Proxy-Port>\t\t\t\n"
    L"QuentaSwiftset.exe -u <Proxy-Benutzername>\t\t\t\n"
    L"QuentaSwiftset.exe -w <Proxy-Kennwort>\t\t\t\n"
    L"QuentaSwiftset.exe -k <HTTPS-Peer-Überprüfung deaktivieren>\t\t\t\n"
    L"QuentaSwiftset.exe -s <Unbeaufsichtigte Installation>\t\t\t\n"
    L"QuentaSwiftset.exe -v <Agent auf eine VDI-Umgebung hinweisen>\t\t\t\n"
    L"QuentaSwiftset.exe -f <Erzwungene Installation für die "
    L"Agent-Bereitstellung>\t\t\t\n"
    L"QuentaSwiftset.exe -h <Erzwungene Installation mit keepGUID-Option für die "
    L"Agent-Bereitstellung>\t\t\t\n"
    L"QuentaSwiftset.exe -? <Hilfe>",
    /* 36 */
    L"\n"
    L"Optionen:-\t\t\t\n"
    L"QuentaSwiftset.sh -d <Datenpfad>\t\t\t\n"
    L"QuentaSwiftset.sh -i <Installationspfad>\t\t\t\n"
    L"QuentaSwiftset.sh -g <Debug-Protokoll>\t\t\t\n"
    L"QuentaSwiftset.sh -a <Proxy-Adresse>\t\t\t\n"
    L"QuentaSwiftset.sh -p <Proxy-Port>\t\t\t\n"
    L"QuentaSwiftset.sh -u <Proxy-Benutzername>\t\t\t\n"
    L"QuentaSwiftset.sh -w <Proxy-Kennwort>\t\t\t\n"
    L"QuentaSwiftset.sh -k <HTTPS-Peer-Überprüfung deaktivieren>\t\t\t\n"
    L"QuentaSwiftset.sh -? <Hilfe>",
    /* 37 */ L"Ungültige GUID über die Befehlszeile übergeben\n",
    /* 38 */ L"Es wird versucht, Installationsdateien von Peers herunterzuladen",
    /* 39 */ L"Es wird versucht, Dateien direkt von Lumacore herunterzuladen",
    /* 40 */ L"Dateien können nicht über den Proxy heruntergeladen werden. Relay wird verwendet",
    /* 41 */
    L"Dateien können nicht direkt von Lumacore heruntergeladen werden. Proxy wird "
    L"verwendet",
    /* 42 */
    L"Dateien können nicht über das Relay heruntergeladen werden. Herunterladen der "
    L"Dateien fehlgeschlagen",
    /* 43 */
    L"Für die Installation sind Root-Berechtigungen erforderlich. Das "
    L"Installationsprogramm kann nicht fortfahren",
    /* 44 */ L"Möglicherweise wird bereits eine andere Instanz ausgeführt. Bitte warten.",
    /* 45 */ L"Das Agent-Upgrade war nicht erfolgreich",
    /* 46 */ L"OK",
    /* 47 */ L"Abbre&chen",
    /* 48 */ L"Verbindungsdatendatei ist nicht vorhanden",
    /* 49 */
    L"Syntax:- ./QuentaSwiftset.sh <Optionen>\n"
    L"./QuentaSwiftset.sh -? zeigt die Liste der Optionen an.",
    /* 50 */ L"Abbrechen",
    /* 51 */ L"Weiter",
    /* 52 */ L"Klicken Sie auf Weiter, um mit der Installation fortzufahren",
};
static_assert(sizeof texts / sizeof texts[0] == 53, "German holds ids 0-52");
}   // namespace

const message_table catalogue_german = {texts, sizeof texts / sizeof texts[0]};
