// Bit-field routines: fields read and written most significant bit first in byte buffers at a
// running bit offset held by the caller.
#pragma once

#include <cstdint>

extern "C" {
void SockraBitMove(uint8_t* dstP, uint32_t* dstBitOffsetP, const uint8_t* srcP, uint32_t* srcBitOffsetP,
                   uint32_t numBits);
void SockraBitPutFixed(uint8_t* dstP, uint32_t* dstBitOffsetP, uint32_t value, uint16_t numBits);
uint32_t SockraBitGetFixed(const uint8_t* srcP, uint32_t* srcBitOffsetP, uint16_t numBits);
void SockraBitPutUIntV(uint8_t* dstP, uint32_t* dstBitOffsetP, uint32_t value);
uint32_t SockraBitGetUIntV(const uint8_t* srcP, uint32_t* srcBitOffsetP);
void SockraBitPutIntV(uint8_t* dstP, uint32_t* dstBitOffsetP, int32_t value);
int32_t SockraBitGetIntV(const uint8_t* srcP, uint32_t* srcBitOffsetP);
}
