// The decommutator's setup record as the ".B50" setup file stores it:
// packed, little-endian, 262,368 bytes, the same layout in the file and in
// memory. Fields this program does not use belong to the decommutator and
// are carried unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kWordTableEntries = 16383;     // words per minor frame, at most
// A word is 1 to 16 bits long: the packer and the Chapter 10 stream carry
// no longer word, and a word of 0 bits would leave no place for its value.
constexpr int32_t kMinWordLength = 1;
constexpr int32_t kMaxWordLength = 16;
constexpr bool IsPackableWordLength(int32_t bits) {
  return bits >= kMinWordLength && bits <= kMaxWordLength;
}
constexpr int kMaxStatusBytesPerBlock = 1024;
constexpr int kStatusDescriptionCount = 128;

#pragma pack(push, 1)

// One word of the minor frame (16 bytes).
struct decomwordstruct {
  int32_t iWdNum;       // word number
  int32_t iWdLen;       // length in bits
  uint8_t bLSBF;        // not 0: least significant bit first
  uint8_t bLeftAlign;   // not 0: the bits sit at the top of the 16-bit container
  uint8_t bSlave;
  uint8_t bReject;
  uint8_t WordFlag12;
  uint8_t Reserved[3];
};

// Frame sync pattern: radix code (0 binary, 1 octal, 2 hexadecimal), the
// NUL-terminated pattern text and its length in bits. One 72-byte block,
// copied whole from the setup record into the archive header record.
struct syncpatternstruct {
  int32_t FrmSyncPatRadix;
  char FrmSyncPat[66];
  int16_t FrmSyncPatLen;
};

struct decomsetupstruct {
  int16_t WordsPerFrame;           //      0
  uint8_t CommonWordLength;        //      2
  uint8_t PcmInputCode;            //      3
  int32_t BitOrder;                //      4
  int16_t SubFrameIdWord;          //      8
  int16_t SubFrameIdStartBitLsb;   //     10
  int16_t FirstFrame;              //     12
  int16_t LastFrame;               //     14
  syncpatternstruct SyncPattern;   //     16 .. 87
  int32_t PatternLeads;            //     88
  uint8_t bBurstEnable;            //     92
  uint8_t bMajorFrameModeEnable;   //     93
  uint16_t iChkFrm;                //     94
  uint16_t iVfyFrm;                //     96
  uint8_t Unused98[2];
  int32_t eDataPolarity;           //    100
  uint8_t bFACEnable;              //    104
  uint8_t Unused105[3];
  int32_t eSyncMethod;             //    108
  uint8_t bForceSync;              //    112
  uint8_t Unused113;
  uint16_t FrameSyncTolerance;     //    114
  uint8_t bGMode;                  //    116
  uint8_t Unused117[3];
  int32_t eClockPolarity;          //    120
  int16_t FramesPerInterrupt;      //    124
  uint8_t Unused126[2];
  int32_t eInputSource;            //    128
  int32_t URCPatRadix;             //    132
  char URCSyncPat[66];             //    136
  int16_t URCPatLen;               //    202
  uint16_t UrcTolerance;           //    204
  uint8_t Unused206[2];
  int32_t eWordAlignment;          //    208
  int32_t eBitWindow;              //    212
  uint16_t WdArrayLength;          //    216
  uint8_t Unused218[2];
  decomwordstruct WordTable[kWordTableEntries];  // 220
  int32_t NumSubframes;            // 262348
  int32_t SubframeDirection;       // 262352
  int32_t BitRate;                 // 262356
  uint8_t Unused262360[8];
};

#pragma pack(pop)

static_assert(sizeof(decomwordstruct) == 16);
static_assert(sizeof(syncpatternstruct) == 72);
static_assert(sizeof(decomsetupstruct) == 262368);
static_assert(offsetof(decomsetupstruct, CommonWordLength) == 2);
static_assert(offsetof(decomsetupstruct, PcmInputCode) == 3);
static_assert(offsetof(decomsetupstruct, BitOrder) == 4);
static_assert(offsetof(decomsetupstruct, SubFrameIdWord) == 8);
static_assert(offsetof(decomsetupstruct, SubFrameIdStartBitLsb) == 10);
static_assert(offsetof(decomsetupstruct, FirstFrame) == 12);
static_assert(offsetof(decomsetupstruct, LastFrame) == 14);
static_assert(offsetof(decomsetupstruct, SyncPattern) == 16);
static_assert(offsetof(decomsetupstruct, SyncPattern) + offsetof(syncpatternstruct, FrmSyncPat) == 20);
static_assert(offsetof(decomsetupstruct, SyncPattern) + offsetof(syncpatternstruct, FrmSyncPatLen) == 86);
static_assert(offsetof(decomsetupstruct, PatternLeads) == 88);
static_assert(offsetof(decomsetupstruct, bBurstEnable) == 92);
static_assert(offsetof(decomsetupstruct, bMajorFrameModeEnable) == 93);
static_assert(offsetof(decomsetupstruct, iChkFrm) == 94);
static_assert(offsetof(decomsetupstruct, iVfyFrm) == 96);
static_assert(offsetof(decomsetupstruct, eDataPolarity) == 100);
static_assert(offsetof(decomsetupstruct, bFACEnable) == 104);
static_assert(offsetof(decomsetupstruct, eSyncMethod) == 108);
static_assert(offsetof(decomsetupstruct, bForceSync) == 112);
static_assert(offsetof(decomsetupstruct, FrameSyncTolerance) == 114);
static_assert(offsetof(decomsetupstruct, bGMode) == 116);
static_assert(offsetof(decomsetupstruct, eClockPolarity) == 120);
static_assert(offsetof(decomsetupstruct, FramesPerInterrupt) == 124);
static_assert(offsetof(decomsetupstruct, eInputSource) == 128);
static_assert(offsetof(decomsetupstruct, URCPatRadix) == 132);
static_assert(offsetof(decomsetupstruct, URCSyncPat) == 136);
static_assert(offsetof(decomsetupstruct, URCPatLen) == 202);
static_assert(offsetof(decomsetupstruct, UrcTolerance) == 204);
static_assert(offsetof(decomsetupstruct, eWordAlignment) == 208);
static_assert(offsetof(decomsetupstruct, eBitWindow) == 212);
static_assert(offsetof(decomsetupstruct, WdArrayLength) == 216);
static_assert(offsetof(decomsetupstruct, WordTable) == 220);
static_assert(offsetof(decomsetupstruct, NumSubframes) == 262348);
static_assert(offsetof(decomsetupstruct, SubframeDirection) == 262352);
static_assert(offsetof(decomsetupstruct, BitRate) == 262356);
static_assert(offsetof(decomsetupstruct, WordsPerFrame) == 0);
static_assert(offsetof(decomsetupstruct, URCSyncPat) + 66 == offsetof(decomsetupstruct, URCPatLen));
static_assert(offsetof(syncpatternstruct, FrmSyncPatRadix) == 0);
static_assert(offsetof(syncpatternstruct, FrmSyncPat) == 4);
static_assert(offsetof(syncpatternstruct, FrmSyncPatLen) == 70);
static_assert(offsetof(decomwordstruct, iWdNum) == 0);
static_assert(offsetof(decomwordstruct, iWdLen) == 4);
static_assert(offsetof(decomwordstruct, bLSBF) == 8);
static_assert(offsetof(decomwordstruct, bLeftAlign) == 9);
static_assert(offsetof(decomwordstruct, bSlave) == 10);
static_assert(offsetof(decomwordstruct, bReject) == 11);
static_assert(offsetof(decomwordstruct, WordFlag12) == 12);
static_assert(offsetof(decomsetupstruct, WordTable) + sizeof(decomwordstruct) * kWordTableEntries ==
              offsetof(decomsetupstruct, NumSubframes));
