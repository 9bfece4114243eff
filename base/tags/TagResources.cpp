#include "tags/TagResources.h"

#include <cstdint>
#include <iterator>

#include "tags/Cp1251.h"

namespace {

// A row of a tag's layout: a field (offset, length and type code) or, with -1 there, a
// group heading that holds the fields after it. Russian null: as the English.
struct DictField {
    int offset, length, type;
    const char* node;
    const char* en;
    const char* ru;
};

struct DictTag {
    int number;
    const char* en;
    const char* ru;
    const char* name;
    const char* captionEn;
    const char* captionRu;
    const DictField* fields;
    size_t count;
};

// A field of a field-description record; its offset is the sum of the sizes before it.
struct SntdFieldRow {
    int offset, size, type;
    const char* name;
};

struct SntdRecordRow {
    int tag;
    const char* name;
    const SntdFieldRow* fields;
    size_t count;
};

// Tag 301.
const DictField kTag301[] = {
    {0, 4, 4, "Length", "Tag Lenght", "Длина всего тега"},
    {4, 4, 4, "CopyFlag", "Copy Flag", "Флаг копирования"},
    {-1, -1, -1, "LeftUp", "Left Up Corner", "Левый верхний угол"},
    {8, 8, 8, "Latitude", "Latitude", "Широта"},
    {16, 8, 8, "Longitude", "Longitude", "Долгота"},
    {-1, -1, -1, "RightUp", "Right Up Corner", "Правый верхний угол"},
    {24, 8, 8, "Latitude", "Latitude", "Широта"},
    {32, 8, 8, "Longitude", "Longitude", "Долгота"},
    {-1, -1, -1, "LeftDown", "Left Bottom Corner", "Левый нижний угол"},
    {40, 8, 8, "Latitude", "Latitude", "Широта"},
    {48, 8, 8, "Longitude", "Longitude", "Долгота"},
    {-1, -1, -1, "RightDown", "Right Bottom Corner", "Правый нижний угол"},
    {56, 8, 8, "Latitude", "Latitude", "Широта"},
    {64, 8, 8, "Longitude", "Longitude", "Долгота"},
};
// Tag 302.
const DictField kTag302[] = {
    {0, 4, 4, "Length", "Tag Lenght", "Длина всего тега"},
    {4, 4, 4, "CopyFlag", "Copy Flag", "Флаг копирования"},
    {-1, -1, -1, "LeftUp", "Left Up Corner", "Левый верхний угол"},
    {8, 8, 8, "Latitude", "Latitude", "Широта"},
    {16, 8, 8, "Longitude", "Longitude", "Долгота"},
    {-1, -1, -1, "RightUp", "Right Up Corner", "Правый верхний угол"},
    {24, 8, 8, "Latitude", "Latitude", "Широта"},
    {32, 8, 8, "Longitude", "Longitude", "Долгота"},
    {-1, -1, -1, "LeftDown", "Left Bottom Corner", "Левый нижний угол"},
    {40, 8, 8, "Latitude", "Latitude", "Широта"},
    {48, 8, 8, "Longitude", "Longitude", "Долгота"},
    {-1, -1, -1, "RightDown", "Right Bottom Corner", "Правый нижний угол"},
    {56, 8, 8, "Latitude", "Latitude", "Широта"},
    {64, 8, 8, "Longitude", "Longitude", "Долгота"},
};
// Tag 303.
const DictField kTag303[] = {
    {0, 4, 4, "Length", "Tag Lenght", "Длина всего тега"},
    {4, 4, 4, "CopyFlag", "Copy Flag", "Флаг копирования"},
    {8, 4, 6, "Width", "Frame Width", "Ширина снимка"},
    {12, 4, 6, "Heigth", "Frame Height", "Высота снимка"},
    {16, 4, 6, "HorizOffs", "Horizontal Offset", "Горизонтальное смещение окна"},
    {20, 4, 6, "VertOffs", "Vertical Offset", "Вертикальное смещение окна"},
};
// Tag 307.
const DictField kTag307[] = {
    {0, 4, 4, "Length", "Tag Lenght", "Длина всего тега"},
    {4, 4, 4, "CopyFlag", "Copy Flag", "Флаг копирования"},
    {8, 4, 6, "Platform", "Platform", "Платформа"},
    {12, 4, 6, "Sensor", "Sensor", "Датчик"},
    {16, 4, 6, "Image", "Image Type", "Тип изображения"},
};
// Tag 305.
const DictField kTag305[] = {
    {0, 4, 4, "Length", "Tag Lenght", "Длина всего тега"},
    {4, 4, 4, "CopyFlag", "Copy Flag", "Флаг копирования"},
    {8, 12, 9, "Proc_start", "Processing Start", "Начало съемки"},
    {20, 12, 9, "Proc_center", "Processing Center", "Середина съемки"},
    {32, 12, 9, "Proc_end", "Processing End", "Конец съемки"},
    {44, 8, 8, "RangeGateStartTime", "Range Gate Start Time", "Range Gate Start Time"},
    {52, 8, 8, "RangeSamplingRate", "Range Sampling Rate", "Range Sampling Rate"},
    {60, 8, 8, "RadarWaveLen", "Radar Wave Lenght", "Длина волны радара"},
    {68, 4, 6, "Sc_lin", "Scene center line", "Номер средней линии"},
    {72, 4, 6, "Sc_pix", "Scene center pixel", "Номер среднего пиксела"},
};
// Tag 300.
const DictField kTag300[] = {
    {0, 4, 4, "Length", "Tag Lenght", nullptr},
    {4, 4, 4, "CopyFlag", "Copy Flag", nullptr},
    {748, 16, 10, "scene_id", "Scene identifier", nullptr},
    {764, 32, 10, "scene_des", "Scene designator", nullptr},
    {796, 32, 10, "inp_sctim", "Input scene centre time", nullptr},
    {828, 16, 10, "asc-desc", "Ascending/Descending flag", nullptr},
    {844, 16, 10, "pro_lat", "Processed scene centre latitude", nullptr},
    {860, 16, 10, "pro_long", "Processed scene centre longitude", nullptr},
    {876, 16, 10, "pro_head", "Processed scene centre heading", nullptr},
    {892, 16, 10, "ellip_des", "Ellipsoid designator", nullptr},
    {908, 16, 10, "Ellip_maj", "Ellipsoid semi-major axis,km", nullptr},
    {924, 16, 10, "Ellip_min", "Ellipsoid semi-minor axis,km", nullptr},
    {940, 16, 10, "Earth_mass", "Earth's mass, kg ", nullptr},
    {956, 16, 10, "Grav_const", "Gravitational const", nullptr},
    {972, 48, 10, "Ellip_j", "Ellipsoid parameters", nullptr},
    {1036, 16, 10, "terrain_h", "Average terrain height,km", nullptr},
    {1052, 8, 10, "Sc_lin", "Scene centre line number", nullptr},
    {1060, 8, 10, "Sc_pix", "Scene centre pixel number", nullptr},
    {1068, 16, 10, "Scene_len", "Scene lenght, km", nullptr},
    {1084, 16, 10, "Scene_wid", "Scene width , km", nullptr},
    {1116, 4, 10, "Nchn", "Number of SAR channels", nullptr},
    {1124, 16, 10, "Mission_id", "Mission identifier", nullptr},
    {1140, 32, 10, "Sensor_id", "Sensor identifier", nullptr},
    {1172, 8, 10, "Orbit_num", "Orbit number", nullptr},
    {1180, 8, 10, "Plat_lat", "Platform geodetic latitude", nullptr},
    {1188, 8, 10, "Plat_long", "Platform geodetic longitude", nullptr},
    {1196, 8, 10, "Plat_head", "Platform heading", nullptr},
    {1204, 8, 10, "clock_ang", "Sensor clock angle", nullptr},
    {1212, 8, 10, "Incidence_ang", "Incidence  angle", nullptr},
    {1228, 8, 10, "wave_length", "Radar wave length", nullptr},
    {1244, 2, 10, "Motion_comp", "Motion compensation indicator", nullptr},
    {1246, 16, 10, "pulse_code", "Range pulse code specifier", nullptr},
    {1262, 80, 10, "ampl_coef", "Range chirp coefficients", nullptr},
    {1342, 80, 10, "phas_coef", "Range phase coefficients", nullptr},
    {1422, 8, 10, "Chirp_ext_ind", "Chirp extraction index", nullptr},
    {1438, 16, 10, "fr", "Range sampling rate", nullptr},
    {1454, 16, 10, "mg_gate", "Range gate start time", nullptr},
    {1470, 16, 10, "mg_length", "Range pulse length", nullptr},
    {1486, 4, 10, "Baseband_f", "Baseband conversion flag", nullptr},
    {1490, 4, 10, "mgcmp_f", "Range compressed flag", nullptr},
    {1494, 16, 10, "gn_polar", "Like polarized gain", nullptr},
    {1510, 16, 10, "gn_cross", "Cross polarized gain", nullptr},
    {1526, 8, 10, "chn_bits", "Number of bits per channel", nullptr},
    {1534, 12, 10, "Quant_desc", "Quantization descriptor", nullptr},
    {1546, 16, 10, "I_bias", "I channel DC bias", nullptr},
    {1562, 16, 10, "Q_bias", "Q channel DC bias", nullptr},
    {1578, 16, 10, "IQ_ratio", "I/Q channel ratio", nullptr},
    {1626, 16, 10, "Ele_sight", "Electronic boresight", nullptr},
    {1642, 16, 10, "Mech_sight", "Mechanical boresight", nullptr},
    {1658, 4, 10, "Echo_track", "Echo tracker on/off flag", nullptr},
    {1662, 16, 10, "fa", "Nominal PRF, Hz", nullptr},
    {1678, 16, 10, "Elev_beam", "Elevation beamwidth", nullptr},
    {1694, 16, 10, "Azim_beam", "Azimuth beamwidth", nullptr},
    {1710, 16, 10, "Sat_bintim", "Satellite binary time", nullptr},
    {1726, 32, 10, "Sat_clktim", "Satellite clock time", nullptr},
    {1758, 8, 10, "Sat_clkinc", "Satellite clock increment", nullptr},
    {1774, 16, 10, "fac_id", "Processing facility identifier", nullptr},
    {1790, 8, 10, "sys_id", "Processing system identifier", nullptr},
    {1798, 8, 10, "ver_id", "Processing version identifier", nullptr},
    {1806, 16, 10, "Fac_code", "Facility process code", nullptr},
    {1822, 16, 10, "lev_code", "Product level code", nullptr},
    {1838, 32, 10, "Prod_type", "Product type specifier", nullptr},
    {1870, 32, 10, "algor_id", "Processing algorithm identifier", nullptr},
    {1902, 16, 10, "N_azilok", "Number of azimuth looks", nullptr},
    {1918, 16, 10, "N_rnglok", "Number of range looks", nullptr},
    {1934, 16, 10, "bnd_azilok", "Azimuth look bandwidth", nullptr},
    {1950, 16, 10, "bnd_rnglok", "Range look bandwidth", nullptr},
    {1966, 16, 10, "bnd_azi", "Total azimuth look bandwidth", nullptr},
    {1982, 16, 10, "bnd_rng", "Total range look bandwidth", nullptr},
    {1998, 32, 10, "Azi_weight", "Azimuth weighting designator", nullptr},
    {2030, 32, 10, "Rng_weight", "Range weighting designator", nullptr},
    {2062, 16, 10, "Data_inpsrc", "Data input source", nullptr},
    {2078, 16, 10, "rng_res", "Nominal resolution in range,m", nullptr},
    {2094, 16, 10, "azi_res", "Nominal resolution in azimuth,m", nullptr},
    {2110, 16, 10, "radi_stretch", "Constant radiometric parameter (Bias)", nullptr},
    {2126, 16, 10, "radi_stretch", "Linear radiometric parameter (Gain)", nullptr},
    {2142, 16, 10, "alt_dopcen", "Along track Doppler frequency constant term at early edge of image,Hz", nullptr},
    {2158, 16, 10, "alt_dopcen", "Along track Doppler frequency linear term at early edge of image,Hz/pixel", nullptr},
    {2174, 16, 10, "alt_dopcen", "Along track Doppler frequency quadratic term at early edge of image,Hz/pix/pix", nullptr},
    {2206, 48, 10, "Crt_dopcen", "Cross track Doppler freq.term", nullptr},
    {2254, 8, 10, "time_dir_pix", "Pixel time direction indicator", nullptr},
    {2262, 8, 10, "time_dir_lin", "Line time direction indicator", nullptr},
    {2270, 48, 10, "alt_rate", "Along track Doppler rate term", nullptr},
    {2334, 48, 10, "crt_rate", "Cross track Doppler rate term", nullptr},
    {2398, 8, 10, "Line_cont", "Line content indicator", nullptr},
    {2406, 4, 10, "Clutter_lock", "Clutter lock applied flag", nullptr},
    {2410, 4, 10, "Auto_focus", "Auto-focus applied flag", nullptr},
    {2414, 16, 10, "Line_spacing", "Line spacing, m", nullptr},
    {2430, 16, 10, "Pixel_spacing", "Pixel spacing, m", nullptr},
    {2446, 16, 10, "mgcmp_desg", "Range compression designator", nullptr},
};
const DictTag kDictTags[] = {
    {301, "Window Geo Coordinates", "Географические координаты окна", "WinGeoCoord", "Geographical Window Coordinates", "Географические координаты окна", kTag301, std::size(kTag301)},
    {302, "Frame Geo Coordinates", "Географические координаты кадра", "FrameGeoCoord", "Frame Geo Coordinates", "Географические координаты кадра", kTag302, std::size(kTag302)},
    {303, "Logical window Coord and Frame Size", "Логические координаты окна и размеры снимка", "LogicalCoord", "Logical window Coord and Frame Size", "Логические координаты окна и размеры снимка", kTag303, std::size(kTag303)},
    {307, "Product Type", "Тип продукта", "Product Type", "Product Type", "Тип продукта", kTag307, std::size(kTag307)},
    {305, "Common Parameters", "Общие параметры", "CommonParam", "Common Parameters", "Общие параметры ", kTag305, std::size(kTag305)},
    {300, "Leader File", "Leader - файл", "LeaderFile", "Leader File", "Leader-файл", kTag300, std::size(kTag300)},
};

// Window and frame corners share one layout.
const SntdFieldRow kSntdCorners[] = {
    {0, 4, 5, "размер"},
    {4, 4, 6, "флаг копирования"},
    {8, 8, 8, "левый верхний угол, широта"},
    {16, 8, 8, "левый верхний угол, долгота"},
    {24, 8, 8, "правый верхний угол, широта"},
    {32, 8, 8, "правый верхний угол, долгота"},
    {40, 8, 8, "левый нижний угол, широта"},
    {48, 8, 8, "левый нижний угол, долгота"},
    {56, 8, 8, "правый нижний угол, широта"},
    {64, 8, 8, "правый нижний угол, долгота"},
};
const SntdFieldRow kSntd303[] = {
    {0, 4, 5, "размер"},
    {4, 4, 6, "флаг копирования"},
    {8, 4, 6, "ширина снимка"},
    {12, 4, 6, "высота снимка"},
    {16, 4, 6, "горизонтальное смещение окна"},
    {20, 4, 6, "вертикальное смещение окна"},
};
const SntdFieldRow kSntd307[] = {
    {0, 4, 5, "размер"},
    {4, 4, 6, "флаг копирования"},
    {8, 4, 6, "платформа"},
    {12, 4, 6, "датчик"},
    {16, 4, 6, "тип изображения"},
};
const SntdFieldRow kSntd305[] = {
    {0, 4, 5, "размер"},
    {4, 4, 6, "флаг копирования"},
    {8, 12, 9, "proc_start"},
    {20, 12, 9, "proc_center"},
    {32, 12, 9, "proc_end"},
    {44, 8, 8, "Range gate start time"},
    {52, 8, 8, "Range sampling rate"},
    {60, 8, 8, "Radar wave lenght"},
    {68, 4, 6, "Scene centre line number"},
    {72, 4, 6, "Scene centre pixel number"},
    {76, 48, 0, "SRGR coefficients"},
    {124, 4, 6, "Sensor orientation"},
    {128, 4, 6, "Pixel time direction indicator"},
    {132, 4, 6, "Line time direction indicator"},
    {136, 8, 8, "Doppler centroid reference time"},
    {144, 32, 0, "Doppler centroid coefficients"},
    {176, 8, 8, "Actual PRF (Hz)"},
    {184, 4, 6, "Orbit number"},
    {188, 12, 9, "Input scene centre time"},
    {200, 4, 6, "Number of data points"},
    {204, 4, 6, "Year of data point"},
    {208, 4, 6, "Month of data point"},
    {212, 4, 6, "Day of data point"},
    {216, 4, 6, "Day of year"},
    {220, 8, 8, "Seconds of day"},
    {228, 8, 8, "Data sampling interval"},
    {236, 4, 6, "Reference coordinate system"},
    {240, 8, 8, "Greenwich mean hour angle (deg)"},
    {248, 8, 8, "Line spacing (m)"},
    {256, 8, 8, "Pixel spacing (m)"},
};
const SntdRecordRow kSntdRecords[] = {
    {301, "географические координаты окна", kSntdCorners, std::size(kSntdCorners)},
    {302, "географические координаты снимка", kSntdCorners, std::size(kSntdCorners)},
    {303, "логические координаты окна и размеры снимка", kSntd303, std::size(kSntd303)},
    {307, "Тип продукта", kSntd307, std::size(kSntd307)},
    {305, "Общие параметры", kSntd305, std::size(kSntd305)},
};

std::string BuildDictionary(bool russian)
{
    std::string text;
    const auto line = [&](int depth, const std::string& node, const std::string& data) {
        text.append(size_t(depth), '\t');
        text += node;
        text += '\t';
        text += data;
        text += "\r\n";
    };
    line(0, "Tags", "");
    for (const DictTag& tag : kDictTags) {
        line(1, std::to_string(tag.number), russian ? tag.ru : tag.en);
        line(2, "Name", tag.name);
        line(2, "Caption", russian ? tag.captionRu : tag.captionEn);
        int depth = 2;
        for (size_t i = 0; i < tag.count; ++i) {
            const DictField& f = tag.fields[i];
            const char* description = russian && f.ru ? f.ru : f.en;
            if (f.offset < 0) {
                line(2, f.node, description);
                depth = 3;
                continue;
            }
            line(depth, f.node, description);
            line(depth + 1, "Length", std::to_string(f.length));
            line(depth + 1, "Type", std::to_string(f.type));
            line(depth + 1, "Offset", std::to_string(f.offset));
        }
    }
    return Utf8ToCp1251(text);
}

void PutU32(std::string& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out += char((v >> (8 * i)) & 0xFF);
}

// A name with its length, terminating NUL included.
void PutName(std::string& out, const char* utf8)
{
    const std::string name = Utf8ToCp1251(utf8);
    PutU32(out, std::uint32_t(name.size() + 1));
    out += name;
    out += '\0';
}

std::string BuildFieldDescriptions()
{
    std::string out = "SNTD";
    PutU32(out, std::uint32_t(std::size(kSntdRecords)));
    for (const SntdRecordRow& r : kSntdRecords) {
        std::string body;
        PutU32(body, std::uint32_t(r.tag));
        PutName(body, r.name);
        PutU32(body, std::uint32_t(r.count));
        for (size_t i = 0; i < r.count; ++i) {
            PutName(body, r.fields[i].name);
            PutU32(body, std::uint32_t(r.fields[i].type));
            PutU32(body, std::uint32_t(r.fields[i].size));
        }
        PutU32(out, std::uint32_t(body.size() + 4));
        out += body;
    }
    return out;
}

}  // namespace

const std::string& TagDictionaryResource(bool russian)
{
    static const std::string english = BuildDictionary(false), russianText = BuildDictionary(true);
    return russian ? russianText : english;
}

const std::string& FieldDescriptionsResource()
{
    static const std::string bytes = BuildFieldDescriptions();
    return bytes;
}
