#pragma once
// An order the game wants paid (TolbaSDK::payOrderInfo). The SDK fills in `sign`
// (empty when unset) and `productDesc` (count + product name when empty) in place.

#include <cstdint>

#include "tolba/record_property.h"

namespace tolba {

class TolbaSDKPayOrderInfo {
  TOLBA_STRING_PROPERTY(goodsID, setGoodsID)
  TOLBA_STRING_PROPERTY(productName, setProductName)
  TOLBA_STRING_PROPERTY(cpOrderID, setCpOrderID)
  TOLBA_VALUE_PROPERTY(std::uint64_t, count, setCount, 0)
  // The price to pay, in yuan.
  TOLBA_VALUE_PROPERTY(float, amount, setAmount, 0.0f)
  TOLBA_STRING_PROPERTY(extrasParams, setExtrasParams)
  TOLBA_STRING_PROPERTY(sign, setSign)
  TOLBA_VALUE_PROPERTY(float, price, setPrice, 0.0f)
  TOLBA_STRING_PROPERTY(productDesc, setProductDesc)
  TOLBA_STRING_PROPERTY(quantifier, setQuantifier)
};

}  // namespace tolba
