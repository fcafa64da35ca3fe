// Japanese texts of the message catalogue (Windows locale 1041).

#include "core/catalogue/catalogue.h"

namespace {
const wchar_t* const texts[] = {
    /* 0 */ L"インストールを開始しています ",
    /* 1 */ L"QuentaSwiftset インストーラーを初期化しています",
    /* 2 */ L"QuentaSwiftset の接続データを取得しています",
    /* 3 */ L"QuentaSwiftset の接続 URL を作成しています",
    /* 4 */ L"構成パラメーターを生成しています",
    /* 5 */ L"%ls から構成ファイルをダウンロードしています",
    /* 6 */ L"構成ファイルを検証しています",
    /* 7 */ L"構成ファイルを展開しています",
    /* 8 */ L"リポジトリからインストール ファイルをダウンロードしています",
    /* 9 */ L"エージェントのインストール ファイル %ls を検証しています",
    /* 10 */ L"エージェント インストーラーのバイナリを展開しています",
    /* 11 */ L"エージェントをインストールしています。しばらく時間がかかる場合があります...",
    /* 12 */ L"インストール後のクリーンアップを実行しています",
    /* 13 */
    L"Quenta Agent のインストールが完了しました。その他のセキュリティ製品は、組織で管理さ"
    L"れているポリシーに基づいてインストールされます。",
    /* 14 */ L"操作を中止しています。しばらく時間がかかる場合があります...",
    /* 15 */ L"QuentaSwiftset の初期化に失敗しました",
    /* 16 */ L"QuentaSwiftset の名前を取得できませんでした",
    /* 17 */ L"エージェントの構成データをダウンロードする URL の検索中にエラーが発生しました",
    /* 18 */ L"FQDN 名を取得できませんでした",
    /* 19 */ L"エージェント GUID の生成に失敗しました",
    /* 20 */ L"構成データを取得する URL を生成しています",
    /* 21 */ L"構成データを取得する URL の生成に失敗しました",
    /* 22 */ L"構成ファイルをダウンロードできませんでした",
    /* 23 */ L"構成ファイルの検証に失敗しました",
    /* 24 */ L"構成ファイルの展開に失敗しました",
    /* 25 */ L"インストール ファイルをダウンロードできませんでした",
    /* 26 */ L"エージェントのインストール ファイル %ls の検証に失敗しました",
    /* 27 */ L"インストール ファイルの展開に失敗しました",
    /* 28 */ L"エージェントのインストールに失敗しました",
    /* 29 */ L"クリーンアップが完了していません",
    /* 30 */ L"エージェントの QuentaSwiftset 操作中にエラーが発生しました",
    /* 31 */ L"無効または期限切れのトークン コードで要求が送信された可能性があります:応答: %ls",
    /* 32 */ L"この QuentaSwiftset の使用回数が上限に達した可能性があります:応答: %ls",
    /* 33 */ L"構成要求の応答コード: %ls",
    /* 34 */ L"Quenta Swiftset ヘルプ",
    /* 35 */
    L"\n"
    L"オプション:-\t\t\t\n"
    L"QuentaSwiftset.exe -d <データ パス>\t\t\t\n"
    L"QuentaSwiftset.exe -i <インストール パス>\t\t\t\n"
    L"QuentaSwiftset.exe -g <デバッグ ログ>\t\t\t\n"
    L"QuentaSwiftset.exe -a <プロキシ アドレス>\t\t\t\n"
    L"QuentaSwiftset.exe -p <プロキシ ポート>\t\t\t\n"
    L"QuentaSwiftset.exe -u <プロキシ ユーザー名>\t\t\t\n"
    L"QuentaSwiftset.exe -w <プロキシ パスワード>\t\t\t\n"
    L"QuentaSwiftset.exe -k <HTTPS ピア検証を無効にする>\t\t\t\n"
    L"QuentaSwiftset.exe -s <サイレント インストール>\t\t\t\n"
    L"QuentaSwiftset.exe -v <VDI 環境であることをエージェントに通知する>\t\t\t\n"
    L"QuentaSwiftset.exe -f <エージェント展開時の強制インストール オプション>\t\t\t\n"
    L"QuentaSwiftset.exe -h <エージェント展開時の keepGUID オプション付き強制インストール"
    L">\t\t\t\n"
    L"QuentaSwiftset.exe -? <ヘルプ>",
    /* 36 */
    L"\n"
    L"オプション:-\t\t\t\n"
    L"QuentaSwiftset.sh -d <データ パス>\t\t\t\n"
    L"QuentaSwiftset.sh -i <インストール パス>\t\t\t\n"
    L"QuentaSwiftset.sh -g <デバッグ ログ>\t\t\t\n"
    L"QuentaSwiftset.sh -a <プロキシ アドレス>\t\t\t\n"
    L"QuentaSwiftset.sh -p <プロキシ ポート>\t\t\t\n"
    L"QuentaSwiftset.sh -u <プロキシ ユーザー名>\t\t\t\n"
    L"QuentaSwiftset.sh -w <プロキシ パスワード>\t\t\t\n"
    L"QuentaSwiftset.sh -k <HTTPS ピア検証を無効にする>\t\t\t\n"
    L"QuentaSwiftset.sh -? <ヘルプ>",
    /* 37 */ L"コマンドラインで無効な GUID が渡されました\n",
    /* 38 */ L"ピアからインストール ファイルをダウンロードしようとしています",
    /* 39 */ L"Lumacore から直接ファイルをダウンロードしようとしています",
    /* 40 */ L"プロキシ経由でファイルをダウンロードできません。リレーを使用します",
    /* 41 */ L"Lumacore から直接ファイルをダウンロードできません。プロキシを使用します",
    /* 42 */ L"リレー経由でファイルをダウンロードできません。ファイルのダウンロードに失敗しました",
    /* 43 */
    L"このプログラムのインストールには root 権限が必要です。インストーラーを続行できませ"
    L"ん",
    /* 44 */ L"別のインスタンスが実行中の可能性があります。お待ちください。",
    /* 45 */ L"エージェントのアップグレードに失敗しました",
    /* 46 */ L"OK",
    /* 47 */ L"キャンセル(&C)",
    /* 48 */ L"接続データ ファイルが存在しません",
    /* 49 */
    L"使用法:- ./QuentaSwiftset.sh <オプション>\n"
    L"オプションの一覧は ./QuentaSwiftset.sh -? で表示されます。",
    /* 50 */ L"キャンセル",
    /* 51 */ L"次へ",
    /* 52 */ L"インストールを続行するには [次へ] をクリックしてください",
};
static_assert(sizeof texts / sizeof texts[0] == 53, "Japanese holds ids 0-52");
}   // namespace

const message_table catalogue_japanese = {texts, sizeof texts / sizeof texts[0]};
