// Italian texts of the message catalogue (Windows locale 1040).

#include "core/catalogue/catalogue.h"

namespace {
const wchar_t* const texts[] = {
    /* 0 */ L"Avvio dell'installazione ",
    /* 1 */ L"Inizializzazione del programma di installazione di QuentaSwiftset",
    /* 2 */ L"Recupero dei dati di connessione di QuentaSwiftset",
    /* 3 */ L"Creazione dell'URL di connessione di QuentaSwiftset",
    /* 4 */ L"Generazione dei parametri di configurazione",
    /* 5 */ L"Download del file di configurazione da %ls",
    /* 6 */ L"Verifica del file di configurazione",
    /* 7 */ L"Decompressione del file di configurazione",
    /* 8 */ L"Download del file di installazione dai repository",
    /* 9 */ L"Verifica del file di installazione dell'agente %ls",
    /* 10 */ L"Decompressione dei file binari del programma di installazione dell'agente",
    /* 11 */ L"Installazione dell'agente. L'operazione potrebbe richiedere alcuni minuti...",
    /* 12 */ L"Pulizia dopo l'installazione",
    /* 13 */
    L"Installazione di Quenta Agent completata. Altri prodotti di sicurezza verranno "
    L"installati in base ai criteri gestiti dall'organizzazione.",
    /* 14 */ L"Interruzione delle operazioni. L'operazione potrebbe richiedere alcuni minuti...",
    /* 15 */ L"Inizializzazione di QuentaSwiftset non riuscita",
    /* 16 */ L"Recupero del nome di QuentaSwiftset non riuscito",
    /* 17 */
    L"Errore durante la ricerca di un URL per scaricare i dati di configurazione "
    L"dell'agente",
    /* 18 */ L"Impossibile recuperare il nome FQDN",
    /* 19 */ L"Generazione del GUID dell'agente non riuscita",
    /* 20 */ L"Generazione dell'URL per recuperare i dati di configurazione",
    /* 21 */ L"Generazione dell'URL per recuperare i dati di configurazione non riuscita",
    /* 22 */ L"Impossibile scaricare il file di configurazione",
    /* 23 */ L"Verifica del file di configurazione non riuscita",
    /* 24 */ L"Decompressione del file di configurazione non riuscita",
    /* 25 */ L"Impossibile scaricare il file di installazione",
    /* 26 */ L"Verifica del file di installazione dell'agente %ls non riuscita",
    /* 27 */ L"Decompressione del file di installazione non riuscita",
    /* 28 */ L"Installazione dell'agente non riuscita",
    /* 29 */ L"Pulizia non completata",
    /* 30 */ L"Errore durante le operazioni di QuentaSwiftset dell'agente",
    /* 31 */
    L"La richiesta potrebbe essere stata inviata con un codice token non valido o "
    L"scaduto:Risposta: %ls",
    /* 32 */
    L"Il numero di utilizzi associato a questo QuentaSwiftset potrebbe essere "
    L"esaurito:Risposta: %ls",
    /* 33 */ L"Codice di risposta della richiesta di configurazione: %ls",
    /* 34 */ L"Guida di Quenta Swiftset",
    /* 35 */
    L"\n"
    L"Opzioni:-\t\t\t\n"
    L"QuentaSwiftset.exe -d <Percorso dati>\t\t\t\n"
    L"QuentaSwiftset.exe -i <Percorso di installazione>\t\t\t\n"
    L"QuentaSwiftset.exe -g <Log di debug>\t\t\t\n"
    L"QuentaSwiftset.exe -a <Indirizzo proxy>\t\t\t\n"
    L"QuentaSwiftset.exe -p <Porta proxy>\t\t\t\n"
    L"QuentaSwiftset.exe -u <Nome utente proxy>\t\t\t\n"
    L"QuentaSwiftset.exe -w <Password proxy>\t\t\t\n"
    L"QuentaSwiftset.exe -k <Disattiva la verifica del peer HTTPS>\t\t\t\n"
    L"QuentaSwiftset.exe -s <Installazione invisibile>\t\t\t\n"
    L"QuentaSwiftset.exe -v <Segnala all'agente un ambiente VDI>\t\t\t\n"
    L"QuentaSwiftset.exe -f <Opzione di installazione forzata per la distribuzione "
    L"dell'agente>\t\t\t\n"
    L"QuentaSwiftset.exe -h <Installazione forzata con l'opzione keepGUID per la "
    L"distribuzione dell'agente>\t\t\t\n"
    L"QuentaSwiftset.exe -? <Guida>",
    /* 36 */
    L"\n"
    L"Opzioni:-\t\t\t\n"
    L"QuentaSwiftset.sh -d <Percorso dati>\t\t\t\n"
    L"QuentaSwiftset.sh -i <Percorso di installazione>\t\t\t\n"
    L"QuentaSwiftset.sh -g <Log di debug>\t\t\t\n"
    L"QuentaSwiftset.sh -a <Indirizzo proxy>\t\t\t\n"
    L"QuentaSwiftset.sh -p <Porta proxy>\t\t\t\n"
    L"QuentaSwiftset.sh -u <Nome utente proxy>\t\t\t\n"
    L"QuentaSwiftset.sh -w <Password proxy>\t\t\t\n"
    L"QuentaSwiftset.sh -k <Disattiva la verifica del peer HTTPS>\t\t\t\n"
    L"QuentaSwiftset.sh -? <Guida>",
    /* 37 */ L"GUID non valido passato dalla riga di comando\n",
    /* 38 */ L"Tentativo di download dei file di installazione dai peer",
    /* 39 */ L"Tentativo di download dei file direttamente da Lumacore",
    /* 40 */ L"Impossibile scaricare i file tramite proxy. Utilizzo del relay",
    /* 41 */ L"Impossibile scaricare i file direttamente da Lumacore. Utilizzo del proxy",
    /* 42 */ L"Impossibile scaricare i file tramite relay. Download dei file non riuscito",
    /* 43 */
    L"Questo programma richiede i privilegi di root per l'installazione. Impossibile "
    L"continuare l'installazione",
    /* 44 */ L"Un'altra istanza potrebbe essere in esecuzione. Attendere.",
    /* 45 */ L"Aggiornamento dell'agente non riuscito",
    /* 46 */ L"OK",
    /* 47 */ L"A&nnulla",
    /* 48 */ L"Il file dei dati di connessione non esiste",
    /* 49 */
    L"Uso:- ./QuentaSwiftset.sh <opzioni>\n"
    L"Eseguire ./QuentaSwiftset.sh -? per l'elenco delle opzioni.",
    /* 50 */ L"Annulla",
    /* 51 */ L"Avanti",
    /* 52 */ L"Fare clic su Avanti per continuare con l'installazione",
};
static_assert(sizeof texts / sizeof texts[0] == 53, "Italian holds ids 0-52");
}   // namespace

const message_table catalogue_italian = {texts, sizeof texts / sizeof texts[0]};
