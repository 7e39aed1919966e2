#include "common/formatting.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

TEST(Formatting, MacAddress)
{
    const uint8_t a[] = { 0x02, 0x00, 0x5E, 0x10, 0xAB, 0x01, 0xFF };
    const uint8_t zero[6] = {};
    EXPECT_EQ(FormatMacAddress(a), "02-00-5E-10-AB-01");
    EXPECT_EQ(FormatMacAddress(zero), "00-00-00-00-00-00");
}

TEST(Formatting, IpAddress)
{
    EXPECT_EQ(FormatIpAddress(inet_addr("10.0.0.1")), "10.0.0.1");
    EXPECT_EQ(FormatIpAddress(inet_addr("192.168.127.254")), "192.168.127.254");
    EXPECT_EQ(FormatIpAddress(0), "0.0.0.0");
    EXPECT_EQ(FormatIpAddress(0xFFFFFFFFu), "255.255.255.255");
}
