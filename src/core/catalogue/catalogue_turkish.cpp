// Turkish texts of the message catalogue (Windows locale 1055).

#include "core/catalogue/catalogue.h"

namespace {
const wchar_t* const texts[] = {
    /* 0 */ L"Yükleme başlatılıyor ",
    /* 1 */ L"QuentaSwiftset yükleyicisi başlatılıyor",
    /* 2 */ L"QuentaSwiftset bağlantı verileri alınıyor",
    /* 3 */ L"QuentaSwiftset bağlantı URL'si oluşturuluyor",
    /* 4 */ L"Yapılandırma parametreleri oluşturuluyor",
    /* 5 */ L"Yapılandırma dosyası %ls konumundan indiriliyor",
    /* 6 */ L"Yapılandırma dosyası doğrulanıyor",
    /* 7 */ L"Yapılandırma dosyasının sıkıştırması açılıyor",
    /* 8 */ L"Yükleme dosyası depolardan indiriliyor",
    /* 9 */ L"Aracı yükleme dosyası %ls doğrulanıyor",
    /* 10 */ L"Aracı yükleyicisinin ikili dosyalarının sıkıştırması açılıyor",
    /* 11 */ L"Aracı yükleniyor. Bu işlem biraz zaman alabilir...",
    /* 12 */ L"Yükleme sonrası temizlik yapılıyor",
    /* 13 */
    L"Quenta Agent yüklemesi tamamlandı. Diğer güvenlik ürünleri, kuruluşunuz tarafından "
    L"yönetilen ilkelere göre yüklenecektir.",
    /* 14 */ L"İşlemler iptal ediliyor. Bu işlem biraz zaman alabilir...",
    /* 15 */ L"QuentaSwiftset başlatılamadı",
    /* 16 */ L"QuentaSwiftset adı alınamadı",
    /* 17 */ L"Aracı yapılandırma verilerini indirmek için URL bulunurken hata oluştu",
    /* 18 */ L"FQDN adı alınamadı",
    /* 19 */ L"Aracı GUID'si oluşturulamadı",
    /* 20 */ L"Yapılandırma verilerini almak için URL oluşturuluyor",
    /* 21 */ L"Yapılandırma verilerini almak için URL oluşturulamadı",
    /* 22 */ L"Yapılandırma dosyası indirilemedi",
    /* 23 */ L"Yapılandırma dosyası doğrulanamadı",
    /* 24 */ L"Yapılandırma dosyasının sıkıştırması açılamadı",
    /* 25 */ L"Yükleme dosyası indirilemedi",
    /* 26 */ L"Aracı yükleme dosyası %ls doğrulanamadı",
    /* 27 */ L"Yükleme dosyasının sıkıştırması açılamadı",
    /* 28 */ L"Aracı yüklemesi başarılı olmadı",
    /* 29 */ L"Temizlik tamamlanmadı",
    /* 30 */ L"Aracının QuentaSwiftset işlemleri sırasında hata oluştu",
    /* 31 */
    L"İstek geçersiz veya süresi dolmuş bir belirteç koduyla gönderilmiş olabilir:Yanıt: "
    L"%ls",
    /* 32 */ L"Bu QuentaSwiftset ile ilişkili kullanım sayısı dolmuş olabilir:Yanıt: %ls",
    /* 33 */ L"Yapılandırma isteği yanıt kodu: %ls",
    /* 34 */ L"Quenta Swiftset yardımı",
    /* 35 */
    L"\n"
    L"Seçenekler:-\t\t\t\n"
    L"QuentaSwiftset.exe -d <Veri yolu>\t\t\t\n"
    L"QuentaSwiftset.exe -i <Yükleme yolu>\t\t\t\n"
    L"QuentaSwiftset.exe -g <Hata ayıklama günlüğü>\t\t\t\n"
    L"QuentaSwiftset.exe -a <Proxy adresi>\t\t\t\n"
    L"QuentaSwiftset.exe -p <Proxy bağlantı noktası>\t\t\t\n"
    L"QuentaSwiftset.exe -u <Proxy kullanıcı adı>\t\t\t\n"
    L"QuentaSwiftset.exe -w <Proxy parolası>\t\t\t\n"
    L"QuentaSwiftset.exe -k <HTTPS eş doğrulamasını devre dışı bırak>\t\t\t\n"
    L"QuentaSwiftset.exe -s <Sessiz yükleme>\t\t\t\n"
    L"QuentaSwiftset.exe -v <Aracıyı VDI ortamından haberdar et>\t\t\t\n"
    L"QuentaSwiftset.exe -f <Aracı dağıtımı için zorunlu yükleme seçeneği>\t\t\t\n"
    L"QuentaSwiftset.exe -h <Aracı dağıtımı için keepGUID seçeneğiyle zorunlu "
    L"yükleme>\t\t\t\n"
    L"QuentaSwiftset.exe -? <Yardım>",
    /* 36 */
    L"\n"
    L"Seçenekler:-\t\t\t\n"
    L"QuentaSwiftset.sh -d <Veri yolu>\t\t\t\n"
    L"QuentaSwiftset.sh -i <Yükleme yolu>\t\t\t\n"
    L"QuentaSwiftset.sh -g <Hata ayıklama günlüğü>\t\t\t\n"
    L"QuentaSwiftset.sh -a <Proxy adresi>\t\t\t\n"
    L"QuentaSwiftset.sh -p <Proxy bağlantı noktası>\t\t\t\n"
    L"QuentaSwiftset.sh -u <Proxy kullanıcı adı>\t\t\t\n"
    L"QuentaSwiftset.sh -w <Proxy parolası>\t\t\t\n"
    L"QuentaSwiftset.sh -k <HTTPS eş doğrulamasını devre dışı bırak>\t\t\t\n"
    L"QuentaSwiftset.sh -? <Yardım>",
    /* 37 */ L"Komut satırından geçersiz GUID iletildi\n",
    /* 38 */ L"Yükleme dosyaları eşlerden indirilmeye çalışılıyor",
    /* 39 */ L"Dosyalar doğrudan Lumacore'dan indirilmeye çalışılıyor",
    /* 40 */ L"Dosyalar proxy üzerinden indirilemiyor. Geçiş sunucusu kullanılıyor",
    /* 41 */ L"Dosyalar doğrudan Lumacore'dan indirilemiyor. Proxy kullanılıyor",
    /* 42 */ L"Dosyalar geçiş sunucusu üzerinden indirilemiyor. Dosyalar indirilemedi",
    /* 43 */
    L"Bu programın yükleme için root ayrıcalıklarına ihtiyacı var. Yükleyici devam "
    L"edemiyor",
    /* 44 */ L"Başka bir örnek çalışıyor olabilir. Lütfen bekleyin.",
    /* 45 */ L"Aracı yükseltmesi başarılı olmadı",
    /* 46 */ L"Tamam",
    /* 47 */ L"İ&ptal",
    /* 48 */ L"Bağlantı verileri dosyası yok",
    /* 49 */
    L"Kullanım:- ./QuentaSwiftset.sh <seçenekler>\n"
    L"Seçenek listesi için ./QuentaSwiftset.sh -? komutunu çalıştırın.",
    /* 50 */ L"İptal",
    /* 51 */ L"İleri",
    /* 52 */ L"Yüklemeye devam etmek için İleri'ye tıklayın",
};
static_assert(sizeof texts / sizeof texts[0] == 53, "Turkish holds ids 0-52");
}   // namespace

const message_table catalogue_turkish = {texts, sizeof texts / sizeof texts[0]};
