#include "core/text/LoadResource.h"

#include <QLocale>
#include <algorithm>
#include <cstddef>
#include <iterator>

namespace LoadResource {

namespace {

struct Entry {
    int id;
    const char16_t *english;
    const char16_t *japanese;
};

// The About box's legal notice.
constexpr const char16_t *LegalNoticeEnglish =
    u"Warning: this program is protected by copyright law. It is provided as is, without "
    u"warranty of any kind, and you use it at your own risk. Copying or distributing this "
    u"program, in whole or in part, without permission is prohibited.";
constexpr const char16_t *LegalNoticeJapanese =
    u"警告: このプログラムは著作権法によって保護されています。本プログラムは現状のまま"
    u"提供され、いかなる保証もなく、ご使用はお客様ご自身の責任となります。許可なく本プログラムの"
    u"全部または一部を複製または配布することを禁じます。";

// Sorted by id, so that a lookup is a binary search. Entries 20 and 21 are the face name and
// the character set of the windows' font.
constexpr Entry Table[] = {
    {20, u"Ms Sans Serif", u"ＭＳ Ｐゴシック"},
    {21, u"0", u"128"},
    {1100, u"Kestrel", u"Kestrel"},
    {1102, LegalNoticeEnglish, LegalNoticeJapanese},
    {1204, u"Browse...", u"表示"},
    {1207, u"&OK", u"&OK"},
    {1208, u"&Cancel", u"キャンセル(&C)"},
    {2102, u"&File", u"ファイル(&F)"},
    {2103, u"&New", u"新規(&N)"},
    {2104, u"&Open", u"開く(&O)"},
    {2105, u"&Save", u"保存(&S)"},
    {2106, u"Save &As...", u"名前を付けて保存(&A)"},
    {2107, u"E&xit", u"終了(&x)"},
    {2108, u"Close", u"閉じる"},
    {2111, u"&Port", u"ポート(&P)"},
    {2112, u"&Settings...", u"設定(&S)"},
    {2120, u"&Preferences...", u"環境設定(&P)"},
    {2121, u"&Activate", u"アクティブ化(&A)"},
    {2125, u"&Help", u"ヘルプ(&H)"},
    {2126, u"&Index", u"インデックス(&I)"},
    {2127, u"Pell on the &Web", u"Pell社ウェッブサイト(&W)"},
    {2128, u"&About...", u"バージョン情報(&A)"},
    {2129, u"&Close", u"閉じる(&C)"},
    {2130, u"&Options...", u"オプション(&O)"},
    {2131, u"&Window", u"ウィンドウ(&W)"},
    {2132, u"&Cascade", u"重ねて表示(&C)"},
    {2133, u"Tile &Horizontal", u"上下に並べる(&H)"},
    {2134, u"Tile &Vertical", u"左右に並べる(&V)"},
    {2135, u"&Arrange Icons", u"アイコンの整列(&A)"},
    {2136, u"&Search...", u"検索(&S)"},
    {2137, u"&System Info...", u"システム情報(&S)"},
    {2138, u"&Open Kestrel", u"Kestrelを開く(&O)"},
    {2139, u"&Hide Kestrel", u"Kestrelを隠す(&H)"},
    {2140, u"E&xit Kestrel", u"Kestrelの終了(&x)"},
    {2141, u"&About Kestrel", u"Kestrelについて(&A)"},
    {2142, u"About Kestrel", u"Kestrelについて"},
    {2143, u"TCP/IP Data Logger", u"TCP/IPデータロガー"},
    {2150, u"TCP/IP Port", u"TCP/IPポート"},
    {2151, u"This PC will act as TCP/IP Client", u"このPCはTCP/IPクライアントとして動作"},
    {2152, u"This PC will act as TCP/IP Server", u"このPCはTCP/IPサーバとして動作"},
    {2153, u"Remote Host IP Address", u"リモートホストのIPアドレス"},
    {2154, u"Remote Port", u"リモートポート"},
    {2155, u"Local IP Address", u"ローカルIPアドレス"},
    {2156, u"Local Port", u"ローカルポート"},
    {2157, u"I/O Options", u"I/Oオプション"},
    {2158, u"Log Inbound TCP/IP data to file:", u"受信TCP/IPデータをファイルに保存"},
    {2159, u"Activate", u"アクティブ化"},
    {2160, u"De-Activate", u"非アクティブ化"},
    {2161, u"Status:", u"ステータス:"},
    {2162, u"Closed", u"切断"},
    {2163, u"Error - Invalid IP Address", u"エラー-不正なIPアドレス"},
    {2164, u"Error - Invalid Port Number", u"エラー-不正なポート番号"},
    {2165, u"Connecting...", u"接続中..."},
    {2166, u"Listening...", u"受信中..."},
    {2167, u"Error", u"エラー"},
    {2168, u"Port Numbers must range between 0 and 65535",
     u"ポート番号は0から65535の間で指定しなければなりません"},
    {2169, u"Connected", u"接続"},
    {2170, u"Disk File I/O", u"ディスクファイル I/O"},
    {2171, u"Server I/O Options", u"サーバ I/Oオプション"},
    {2172, u"Allow multiple client connections", u"複数のクライアントからの接続を許可"},
    {2173, u"Inbound TCO/IP data options:", u"受信TCP/IPデータオプション"},
    {2174, u"Log inbound TCP/IP data from all clients to file.",
     u"全てのクライアントから受信したTCP/IPデータをファイルに保存"},
    {2175, u"Ignore inbound TCP/IP data from all clients.",
     u"全てのクライアントマシンから受信したTCP/IPデータを無視する"},
    {2176, u"Log inbound TCP/IP data from first connected client only.",
     u"最初に接続したクライアントマシンから受信したTCP/IPデータのみを保存"},
    {2177, u"Kestrel Options", u"Kestrel オプション"},
    {2178, u"Max bytes per TCP/IP packet", u"TCP/IPパケットの最大バイト数"},
    {2179, u"Log all errors to file: ErrorLog.txt", u"全てのエラーをErrorLog.txtファイルに保存"},
    {2180, u"Run external program when errors occur:", u"エラー発生時に外部プログラムを起動:"},
    {2181, u"Command Line:", u"コマンドライン:"},
    {2182, u"Browse...", u"表示..."},
    {4032, u"File is not a valid configuration file.",
     u"ファイルが正しい設定ファイルではありません。"},
    {9013, u"This PC will act as TCP/IP Client", u"このPCはTCP/IPクライアントとして作動"},
    {9014, u"This PC will act as TCP/IP Server", u"このPCはTCP/IPサーバとして作動"},
    {9015, u"Remote Host IP Address", u"リモートホストのIPアドレス"},
    {9016, u"Remote Port", u"リモートポート"},
    {9017, u"Local IP Address", u"ローカルなIPアドレス"},
    {9018, u"Local Port", u"ローカルポート"},
    {9019, u"Remote Port Must Be Between 1 and 65535",
     u"リモートポートは1から65535の間に設定する必要があります。"},
    {9020, u"Invalid Port Number", u"不正なポート番号"},
    {9021, u"Port", u"ポート"},
    {9022, u"Error", u"エラー"},
    {9023, u"Closed", u"閉じる"},
    {9024, u"Open", u"開く"},
    {9025, u"Listening", u"受信中"},
    {9026, u"Connection Pending", u"接続待機中"},
    {9027, u"Resolving Host", u"ホスト解析中"},
    {9028, u"Host Resolved", u"ホストの解析結果"},
    {9029, u"Connecting", u"接続中"},
    {9030, u"Connected", u"接続"},
    {9031, u"Peer is closing the connection", u"相手側の機器が接続を閉じています。"},
    {9032, u"to", u"へ"},
    {9033, u"Kestrel Help", u"Kestrel ヘルプ"},
    {9034,
     u"The help file %1 could not be opened. Check that it exists and that a viewer for it is "
     u"installed: on Debian, the package xchm (apt install xchm).",
     u"ヘルプファイル %1 を開けませんでした。ファイルがあること、およびそれを表示するプログラムが"
     u"インストールされていることを確認してください (Debian ではパッケージ xchm: apt install "
     u"xchm)。"},
    {9035, u"Keep an arrival index beside each log file",
     u"各ログファイルの横に受信インデックスを保存"},
    {9036,
     u"For every arrival of data that is logged, add a line to <log file>.idx:\n"
     u"the local time, the client's address and port, and where its bytes lie in the log file.",
     u"保存した受信データごとに <ログファイル>.idx に1行を追加します:\n受信時刻、"
     u"クライアントのアドレスとポート、ログファイル内でのデータの位置と長さ。"},
    {9037, u"Data Monitor", u"データモニター"},
    {9038, u"Address", u"アドレス"},
    {9039, u"Port", u"ポート"},
    {9040, u"Connected at", u"接続時刻"},
    {9041, u"Bytes", u"バイト数"},
    {9042, u"Arrivals", u"受信回数"},
    {9043, u"Last arrival", u"最終受信"},
    {9044, u"Pause", u"一時停止"},
    {9045, u"not logged", u"ログ保存なし"},
    {9046, u"Bytes logged: %1    Arrivals: %2    Connected clients: %3    Log-file errors: %4",
     u"保存バイト数: %1    受信回数: %2    接続クライアント数: %3    ログファイルエラー: %4"},
    {9047, u"Bytes per second logged, last 60 seconds (peak %1)",
     u"1秒あたりの保存バイト数、過去60秒 (最大 %1)"},
    {9048, u"%1 bytes", u"%1 バイト"},
};

constexpr bool sortedById()
{
    for (std::size_t i = 1; i < std::size(Table); ++i) {
        if (Table[i - 1].id >= Table[i].id)
            return false;
    }
    return true;
}
static_assert(sortedById(), "the string table must stay sorted by unique ids");

const Entry *find(int id)
{
    const auto it = std::lower_bound(std::begin(Table), std::end(Table), id,
                                     [](const Entry &entry, int key) { return entry.id < key; });
    return it != std::end(Table) && it->id == id ? it : nullptr;
}

Language &languageInUse()
{
    static Language language =
        QLocale::system().language() == QLocale::Japanese ? Language::Japanese : Language::English;
    return language;
}

} // namespace

Language runningLanguage()
{
    return languageInUse();
}

void setRunningLanguage(Language language)
{
    languageInUse() = language;
}

bool HasResString(int id)
{
    return find(id) != nullptr;
}

QString LoadResString(int id)
{
    return LoadResString(id, runningLanguage());
}

QString LoadResString(int id, Language language)
{
    const Entry *entry = find(id);
    if (!entry)
        return {};
    return QString::fromUtf16(language == Language::Japanese ? entry->japanese : entry->english);
}

} // namespace LoadResource
