#include "shop/Pages.h"

namespace tovari::shop {

namespace {

std::string Page(std::string_view title, std::string_view body)
{
    std::string html = "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"UTF-8\">\n<title>";
    html += HtmlEscape(title);
    html += " - トヴァリ デモショップ</title>\n"
            "<style>body{font-family:sans-serif;margin:2em}table{border-collapse:collapse}"
            "td,th{border:1px solid #ccc;padding:.4em}img{display:block}</style>\n</head>\n<body>\n<h1>";
    html += HtmlEscape(title);
    html += "</h1>\n";
    html += body;
    html += "\n</body>\n</html>\n";
    return html;
}

std::string WithThousands(long long value)
{
    std::string digits = std::to_string(value);
    for (int at = int(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(std::size_t(at), ",");
    return digits;
}

std::string SizeOptions(std::string_view selected)
{
    std::string html;
    for (const auto& size : PrintSizes()) {
        html += "<option value=\"" + std::string(size.code) + "\"";
        if (size.code == selected)
            html += " selected";
        html += ">" + HtmlEscape(size.label) + " (" + std::to_string(size.priceYen) + "円)</option>";
    }
    return html;
}

}  // namespace

const std::vector<PrintSize>& PrintSizes()
{
    static const std::vector<PrintSize> sizes{
        {"L", "L判", 30},
        {"2L", "2L判", 80},
        {"HAGAKI", "ハガキ", 50},
    };
    return sizes;
}

const PrintSize* FindPrintSize(std::string_view code)
{
    for (const auto& size : PrintSizes())
        if (size.code == code)
            return &size;
    return nullptr;
}

std::string HtmlEscape(std::string_view text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        case '\'': escaped += "&#39;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

std::string OrderPage(const std::string& sessionId, const std::vector<OrderItem>& items, int orderCap)
{
    if (items.empty())
        return Page("プリントのご注文", "<p>ご注文の写真はまだありません。トヴァリで写真を選んで「プリントに追加」してください。</p>");

    const std::string sid = HtmlEscape(sessionId);
    std::string body = "<p>写真 " + std::to_string(items.size()) + " 枚 (一度に最高 " + WithThousands(orderCap)
        + " 枚まで)。枚数とサイズを選んで「注文する」を押してください。枚数を 0 にした写真は注文から外れます。</p>\n"
          "<form method=\"post\" action=\"/wis/order.php\">\n"
          "<input type=\"hidden\" name=\"mode\" value=\"confirm\">\n"
          "<input type=\"hidden\" name=\"sid\" value=\"" + sid + "\">\n"
          "<table>\n<tr><th>写真</th><th>ファイル名</th><th>枚数</th><th>サイズ</th></tr>\n";
    for (const auto& item : items) {
        const std::string id = std::to_string(item.id);
        body += "<tr class=\"item\"><td><img src=\"/wis/order_image.php?sid=" + sid + "&amp;id=" + id + "\" alt=\""
            + HtmlEscape(item.name) + "\"></td><td>" + HtmlEscape(item.name) + "</td>"
            + "<td><input type=\"number\" name=\"qty_" + id + "\" value=\"" + std::to_string(item.quantity)
            + "\" min=\"0\" max=\"" + std::to_string(kMaxQuantity) + "\"></td>"
            + "<td><select name=\"size_" + id + "\">" + SizeOptions(item.size) + "</select></td></tr>\n";
    }
    body += "</table>\n<p><button type=\"submit\">注文する</button></p>\n</form>";
    return Page("プリントのご注文", body);
}

std::string OrderConfirmationPage(const PlacedOrder& order)
{
    std::string body = "<p>ご注文ありがとうございました。注文番号は <strong id=\"order-number\">" + std::to_string(order.id)
        + "</strong> です。</p>\n<table>\n<tr><th>ファイル名</th><th>サイズ</th><th>枚数</th><th>金額</th></tr>\n";
    long long total = 0;
    for (const auto& item : order.items) {
        const auto* size = FindPrintSize(item.size);
        const long long price = size ? (long long)size->priceYen * item.quantity : 0;
        total += price;
        body += "<tr class=\"item\"><td>" + HtmlEscape(item.name) + "</td><td>" + HtmlEscape(size ? size->label : item.size)
            + "</td><td>" + std::to_string(item.quantity) + "</td><td>" + WithThousands(price) + "円</td></tr>\n";
    }
    body += "</table>\n<p>合計 <strong id=\"total\">" + WithThousands(total) + "円</strong></p>";
    return Page("ご注文の確認", body);
}

std::string MessagePage(std::string_view title, std::string_view message)
{
    return Page(title, "<p>" + HtmlEscape(message) + "</p>");
}

std::string HelpPage()
{
    return Page("ご利用ガイド", R"html(<ol>
<li><a href="#0001">写真を選ぶ</a></li>
<li><a href="#0002">アルバム会員</a></li>
<li><a href="#0003">プリントのご注文方法</a></li>
</ol>
<h2 id="0001">写真を選ぶ</h2>
<p>左のフォルダから写真のあるフォルダを選ぶと、写真の一覧が表示されます。プリントしたい写真をクリックして選んでください。Ctrl キーを押しながらクリックすると複数選べます。</p>
<h2 id="0002">アルバム会員</h2>
<p>アルバム会員としてログインすると、送った写真がアルバムに保存され、いつでもアルバムから写真を見ることができます。</p>
<h2 id="0003">プリントのご注文方法</h2>
<p>写真を選んで「プリントに追加」を押すと、写真がお店に送られます。一度に最高3,000枚までご注文いただけます。送信が終わったら「注文」を押してください。ブラウザで注文ページが開きますので、枚数とサイズ（L判、2L判、ハガキ）を選んで「注文する」を押せばご注文は完了です。</p>)html");
}

std::string DownloadPage()
{
    return Page("最新版のダウンロード", R"html(<p>トヴァリの最新版をご案内するページです。</p>
<p>このデモショップでは、お使いのトヴァリが最新版です。新しい版が出たときは、このページからダウンロードできます。</p>)html");
}

}  // namespace tovari::shop
