#pragma once
// What a CEOS leader file says about the image, as the tags of the imported raster
// layer file: the leader itself (300), the window (303), the transform (308), the
// product type (307), the geographic corners (301, 302), the common processing
// parameters (305) and the orbit state vectors (306). The builders are pure; the
// writers store their payloads with SetTag. Every payload begins with its int32
// length and an int32 copy flag (1); packed payloads are written field by field.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "raw/ImportParams.h"

class CMeterInfoBase;

using Bytes = std::vector<unsigned char>;
using ByteSpan = std::span<const unsigned char>;

inline constexpr int kLeaderTag = 300;
inline constexpr int kWindowGeoTag = 301;
inline constexpr int kSceneGeoTag = 302;
inline constexpr int kWindowTag = 303;
inline constexpr int kCommonParamsTag = 305;
inline constexpr int kStateVectorsTag = 306;
inline constexpr int kProductTypeTag = 307;

inline constexpr int kProductTypeTagSize = 20;
inline constexpr int kGeoCornersTagSize = 72;
inline constexpr int kWindowTagSize = 24;
inline constexpr int kCommonParamsTagSize = 264;

// Leader record type codes.
inline constexpr int kDataSetSummary = 10;
inline constexpr int kMapProjection = 20;
inline constexpr int kPlatformPosition = 30;
inline constexpr int kProcessingParameters = 120;

// The 12-byte header at the start of every leader record.
struct LeaderRecordHeader {
    std::int32_t sequence = 0;
    unsigned char subtype1 = 0;
    unsigned char type = 0;
    unsigned char subtype2 = 0;
    unsigned char subtype3 = 0;
    std::int32_t length = 0;  // including the header
};

// The records of a leader, from its start: each record's length is read at its
// offset 8; a length below 12 or one that runs past the leader's end ends the walk
// (that record is not counted).
std::vector<LeaderRecordHeader> WalkLeaderRecords(ByteSpan leader);
// The index of the first record of that type code, or -1.
int FindLeaderRecord(const LeaderRecordHeader* headers, int count, int type);
// The offset of record index in the leader: the lengths of the records before it.
std::int64_t LeaderRecordOffset(const LeaderRecordHeader* headers, int index);

// Day number and seconds of the day (12 bytes in a payload: int32, double).
struct TagTime {
    std::int32_t day = 0;
    double seconds = 0.0;
};
// Days before year/month/day counted from 1 January of year 1.
std::int32_t DayNumber(int year, int month, int day);
std::int32_t DayNumberOfYear(int year, int dayOfYear);
// "YYYY-DDD-hh:mm:ss.sss" (21 characters).
void ParseDayOfYearTime(std::string_view text, TagTime* out);
// "YYYYMMDDhhmmssttt" after leading blanks.
void ParseCompactTime(std::string_view text, TagTime* out);
// "DD-MMM-YYYY hh:mm:ss.sss" (24 characters); the month a name (JAN to DEC) or digits.
void ParseDateTime(std::string_view text, TagTime* out);

struct ProductType {
    std::int32_t platform = 0;
    std::int32_t sensor = 0;
    std::int32_t image = 0;
};
// From the 16 characters at offset 48 of the leader.
ProductType ReadProductType(ByteSpan leader);
Bytes ProductTypePayload(const ProductType& type);

// Latitude and longitude, in degrees, of the scene's first line's first (FL) and
// last (FR) pixel and of its last line's first (LL) and last (LR) pixel.
struct SceneCorners {
    double lat[4] = {};  // FL, FR, LL, LR
    double lon[4] = {};
};
// The window's corners interpolated between the scene's (tag 301) and the scene's
// own (tag 302).
Bytes WindowCornersPayload(const SceneCorners& scene, const ImportParams& params);
Bytes SceneCornersPayload(const SceneCorners& scene);
// From the map projection record of the leader; none when the leader lacks it or it
// cannot hold the corners.
std::optional<SceneCorners> ErsSceneCorners(ByteSpan leader);
// From the 24 bytes at offset 132 of the first and the last data record (six int32
// in millionths of a degree, in byteOrder).
SceneCorners RadarsatSceneCorners(const unsigned char* first, const unsigned char* last, int byteOrder);

// Tag 305 and, when the leader has a platform position record, tag 306.
struct OrbitPayloads {
    Bytes commonParams;                // 264 bytes
    std::optional<Bytes> stateVectors;  // 8 + 48 n bytes
};
// ersPlatform: the product type names ERS-1 or ERS-2 (platform 2 or 3).
OrbitPayloads BuildOrbitPayloads(ByteSpan leader, bool ersPlatform);

// Tag 300 (the leader behind its length and flag; none when the leader is too large
// for the length), tag 303 and tag 308.
std::optional<Bytes> LeaderPayload(ByteSpan leader);
Bytes WindowPayload(const ImportParams& params);
Bytes TransformPayload(const ImportParams& params);

// The writers. output is the path the layer file is written at; each returns
// whether every tag it meant to write was written.
bool WriteProductTypeTag(const ImportParams& params, const std::string& output, ByteSpan leader);
bool WriteErsGeoTags(const ImportParams& params, const std::string& output, ByteSpan leader);
// firstPrefix and lastPrefix: the 24 bytes at offset 132 of the first and last data
// record, or null when the data file does not hold them (no tags then).
bool WriteRadarsatGeoTags(const ImportParams& params, const std::string& output, const unsigned char* firstPrefix,
                          const unsigned char* lastPrefix, CMeterInfoBase* meter);
bool WriteOrbitTags(const ImportParams& params, const std::string& output, ByteSpan leader, CMeterInfoBase* meter);
// All of a CEOS import's tags in their order: 300, 303, 308, 307, then for
// RADARSAT and ERS 301 and 302, 306 and 305.
bool WriteCeosTags(const ImportParams& params, const std::string& output, ByteSpan leader,
                   const unsigned char* firstPrefix, const unsigned char* lastPrefix, CMeterInfoBase* meter);
