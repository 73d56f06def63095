#pragma once

#include "shop/Store.h"

#include <string>
#include <string_view>
#include <vector>

namespace tovari::shop {

// Pages seen in a browser are UTF-8 (declared in the header and the page); only the
// client's own requests speak CP932.

struct PrintSize {
    std::string_view code;
    std::string_view label;
    int priceYen;
};

const std::vector<PrintSize>& PrintSizes();
const PrintSize* FindPrintSize(std::string_view code);

inline constexpr int kMaxQuantity = 99;

std::string HtmlEscape(std::string_view text);

// The thumbnails come from /wis/order_image.php, limited to the page's session.
std::string OrderPage(const std::string& sessionId, const std::vector<OrderItem>& items, int orderCap);
std::string OrderConfirmationPage(const PlacedOrder& order);
std::string MessagePage(std::string_view title, std::string_view message);
std::string HelpPage();
std::string DownloadPage();

}  // namespace tovari::shop
