#include <gtest/gtest.h>

#include "CAddressList.h"
#include "Contains.h"

using Vec = std::vector<std::string>;

TEST(AddressList, SplitsOnSemicolonsAndCommasOutsideNamesAndBrackets) {
    EXPECT_EQ(CAddressList::Split(" a@x.org; b@x.org ,c@x.org;; "), (Vec{"a@x.org", "b@x.org", "c@x.org"}));
    EXPECT_EQ(CAddressList::Split("\"Doe, John\" <j@x.org>, \"Say \\\"hi\\\", ok\" <h@x.org>"),
              (Vec{"\"Doe, John\" <j@x.org>", "\"Say \\\"hi\\\", ok\" <h@x.org>"}));
    EXPECT_EQ(CAddressList::Split("<odd,one@x.org>"), (Vec{"<odd,one@x.org>"}));
    EXPECT_TRUE(CAddressList::Split("  ;, ").empty());
    EXPECT_EQ(CAddressList::Join({"a@x.org", "B <b@x.org>"}), "a@x.org; B <b@x.org>");
}

TEST(AddressList, CheckNamesTheFieldAndTheFirstBadEntry) {
    EXPECT_EQ(CAddressList::Check("", "To").Problem(), "");
    EXPECT_EQ(CAddressList::Check("Zoë <zoe@example.org>; a@b.org", "To").Problem(), "");
    for (const char* psz : {"bob@", "@example.org", "plain words", "a@b.org; <broken"}) {
        std::string str = CAddressList::Check(psz, "Bcc").Problem();
        EXPECT_TRUE(Contains(str, "in the Bcc field is not a valid e-mail address")) << psz << ": " << str;
    }
    EXPECT_EQ(CAddressList::Check("ok@x.org, bad", "Cc").Problem().rfind("\"bad\" in the Cc field", 0), 0u);
}
