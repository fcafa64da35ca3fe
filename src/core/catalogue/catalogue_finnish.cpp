// Finnish texts of the message catalogue (Windows locale 1035).

#include "core/catalogue/catalogue.h"

namespace {
const wchar_t* const texts[] = {
    /* 0 */ L"Asennus käynnistyy ",
    /* 1 */ L"Alustetaan QuentaSwiftset-asennusohjelmaa",
    /* 2 */ L"Haetaan QuentaSwiftset-yhteystietoja",
    /* 3 */ L"Muodostetaan QuentaSwiftset-yhteyden URL-osoitetta",
    /* 4 */ L"Luodaan määritysparametreja",
    /* 5 */ L"Ladataan määritystiedostoa kohteesta %ls",
    /* 6 */ L"Tarkistetaan määritystiedostoa",
    /* 7 */ L"Puretaan määritystiedostoa",
    /* 8 */ L"Ladataan asennustiedostoa säilöistä",
    /* 9 */ L"Tarkistetaan agentin asennustiedostoa %ls",
    /* 10 */ L"Puretaan agentin asennusohjelman binaaritiedostoja",
    /* 11 */ L"Asennetaan agenttia. Tämä voi kestää hetken...",
    /* 12 */ L"Siivotaan asennuksen jälkeen",
    /* 13 */
    L"Quenta Agent -asennus on valmis. Muut suojaustuotteet asennetaan organisaatiosi "
    L"hallinnoimien käytäntöjen mukaisesti.",
    /* 14 */ L"Keskeytetään toimintoja. Tämä voi kestää hetken...",
    /* 15 */ L"QuentaSwiftsetin alustus epäonnistui",
    /* 16 */ L"QuentaSwiftsetin nimen hakeminen epäonnistui",
    /* 17 */ L"Virhe etsittäessä URL-osoitetta agentin määritystietojen lataamiseen",
    /* 18 */ L"FQDN-nimeä ei voitu hakea",
    /* 19 */ L"Agentin GUID-tunnuksen luominen epäonnistui",
    /* 20 */ L"Luodaan URL-osoitetta määritystietojen hakemiseen",
    /* 21 */ L"URL-osoitteen luominen määritystietojen hakemiseen epäonnistui",
    /* 22 */ L"Määritystiedostoa ei voitu ladata",
    /* 23 */ L"Määritystiedoston tarkistus epäonnistui",
    /* 24 */ L"Määritystiedoston purkaminen epäonnistui",
    /* 25 */ L"Asennustiedostoa ei voitu ladata",
    /* 26 */ L"Agentin asennustiedoston %ls tarkistus epäonnistui",
    /* 27 */ L"Asennustiedoston purkaminen epäonnistui",
    /* 28 */ L"Agentin asennus ei onnistunut",
    /* 29 */ L"Siivous ei ole valmis",
    /* 30 */ L"Agentin QuentaSwiftset-toiminnoissa tapahtui virhe",
    /* 31 */
    L"Pyyntö on ehkä lähetetty virheellisellä tai vanhentuneella tunnuskoodilla:Vastaus: "
    L"%ls",
    /* 32 */ L"Tämän QuentaSwiftsetin käyttökerrat ovat ehkä loppuneet:Vastaus: %ls",
    /* 33 */ L"Määrityspyynnön vastauskoodi: %ls",
    /* 34 */ L"Quenta Swiftset -ohje",
    /* 35 */
    L"\n"
    L"Asetukset:-\t\t\t\n"
    L"QuentaSwiftset.exe -d <Tietopolku>\t\t\t\n"
    L"QuentaSwiftset.exe -i <Asennuspolku>\t\t\t\n"
    L"QuentaSwiftset.exe -g <Virheenkorjausloki>\t\t\t\n"
    L"QuentaSwiftset.exe -a <Välityspalvelimen osoite>\t\t\t\n"
    L"QuentaSwiftset.exe -p <Välityspalvelimen portti>\t\t\t\n"
    L"QuentaSwiftset.exe -u <Välityspalvelimen käyttäjänimi>\t\t\t\n"
    L"QuentaSwiftset.exe -w <Välityspalvelimen salasana>\t\t\t\n"
    L"QuentaSwiftset.exe -k <Poista HTTPS-vertaisen tarkistus käytöstä>\t\t\t\n"
    L"QuentaSwiftset.exe -s <Hiljainen asennus>\t\t\t\n"
    L"QuentaSwiftset.exe -v <Ilmoita agentille VDI-ympäristöstä>\t\t\t\n"
    L"QuentaSwiftset.exe -f <Pakotettu asennus agentin käyttöönotossa>\t\t\t\n"
    L"QuentaSwiftset.exe -h <Pakotettu asennus keepGUID-asetuksella agentin "
    L"käyttöönotossa>\t\t\t\n"
    L"QuentaSwiftset.exe -? <Ohje>",
    /* 36 */
    L"\n"
    L"Asetukset:-\t\t\t\n"
    L"QuentaSwiftset.sh -d <Tietopolku>\t\t\t\n"
    L"QuentaSwiftset.sh -i <Asennuspolku>\t\t\t\n"
    L"QuentaSwiftset.sh -g <Virheenkorjausloki>\t\t\t\n"
    L"QuentaSwiftset.sh -a <Välityspalvelimen osoite>\t\t\t\n"
    L"QuentaSwiftset.sh -p <Välityspalvelimen portti>\t\t\t\n"
    L"QuentaSwiftset.sh -u <Välityspalvelimen käyttäjänimi>\t\t\t\n"
    L"QuentaSwiftset.sh -w <Välityspalvelimen salasana>\t\t\t\n"
    L"QuentaSwiftset.sh -k <Poista HTTPS-vertaisen tarkistus käytöstä>\t\t\t\n"
    L"QuentaSwiftset.sh -? <Ohje>",
    /* 37 */ L"Komentorivillä annettiin virheellinen GUID\n",
    /* 38 */ L"Yritetään ladata asennustiedostoja vertaiskoneilta",
    /* 39 */ L"Yritetään ladata tiedostoja suoraan Lumacoresta",
    /* 40 */ L"Tiedostoja ei voi ladata välityspalvelimen kautta. Käytetään relay-palvelinta",
    /* 41 */ L"Tiedostoja ei voi ladata suoraan Lumacoresta. Käytetään välityspalvelinta",
    /* 42 */
    L"Tiedostoja ei voi ladata relay-palvelimen kautta. Tiedostojen lataaminen "
    L"epäonnistui",
    /* 43 */
    L"Tämä ohjelma tarvitsee asennukseen pääkäyttäjän (root) oikeudet. Asennusohjelma ei "
    L"voi jatkaa",
    /* 44 */ L"Toinen esiintymä saattaa olla käynnissä. Odota.",
    /* 45 */ L"Agentin päivitys ei onnistunut",
    /* 46 */ L"OK",
    /* 47 */ L"&Peruuta",
    /* 48 */ L"Yhteystietotiedostoa ei ole olemassa",
    /* 49 */
    L"Käyttö:- ./QuentaSwiftset.sh <asetukset>\n"
    L"Näytä asetusten luettelo komennolla ./QuentaSwiftset.sh -?",
    /* 50 */ L"Peruuta",
    /* 51 */ L"Seuraava",
    /* 52 */ L"Jatka asennusta valitsemalla Seuraava",
};
static_assert(sizeof texts / sizeof texts[0] == 53, "Finnish holds ids 0-52");
}   // namespace

const message_table catalogue_finnish = {texts, sizeof texts / sizeof texts[0]};
