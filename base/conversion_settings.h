#pragma once
// The complete parameter set of one conversion job. Numbers the user types
// are kept as text and converted where they are used (see text_convert.h),
// so a project file reproduces exactly what was typed.

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

namespace gorvale {

constexpr int kZoneRows = 32;
constexpr int kZoneColourEntries = 36;
constexpr int kCliffColourEntry = 35;

using Colour = std::uint32_t;  // 0x00BBGGRR

struct TreeZoneRow {
    std::string Lowest = "0";
    std::string Highest = "0";
    std::string RWXName = "ztree";
    std::string NameSuffixFrom = "1";
    std::string NumberOfTrees = "1";
    std::string HeightOffset = "0";
    bool ObjectZone = false;
    bool ObjectRandomRotateZone = false;
    bool ObjectRandomObjectRand = false;
    bool ObjectRandomObjectVal = false;
};

struct TextureZoneRow {
    std::string Lowest = "0";
    std::string Highest = "0";
    std::string RWXName = "gnd";
    std::string RWXBottomName = "gnd";
    std::string NameSuffixFrom = "1";
    std::string NumberOfTexts = "1";
    std::string TagStartValue = "1";
    std::string OpacityValue = "1";
    bool OpacityZone = false;
    bool ObjectZone = false;
    bool ObjectFlatZone = false;
    bool ObjectFlatZoneHigh = false;
    bool ObjectTagZone = false;
    Colour ColourValue = 0;
};

// Default zone colours; entry 35 is the default cliff colour.
const std::array<Colour, kZoneColourEntries>& defaultZoneColours();

struct ConversionSettings {
    // [ElevationModel]
    std::string DEMFile;
    int FileType = 1;
    std::string FromSouth = "0";
    std::string FromWest = "0";
    std::string ToNorth = "10000";
    std::string ToEast = "10000";
    int FromSouthExcl = 0;
    int FromWestExcl = 0;
    int ToNorthExcl = 0;
    int ToEastExcl = 0;
    bool InvertElevation = false;
    bool ExcludeRectangle = false;
    bool RespectWorldSize = true;
    bool SkipElevation = false;
    bool SkipElevationOdd = false;
    bool SkipElevationOddHor = false;
    bool FixGZ = false;
    std::string RowGZ = "0";
    std::string ColGZ = "0";

    // [WorldParameters]
    std::string VerticalOffset = "0";
    int ObjectSize = 0;       // choice: (index + 1) * 10 m
    int Scaling = 0;          // choice: ScalingStep - 1
    int WorldSize = 1;        // choice
    bool LeveledWithGround = false;
    bool WorldEdgeLevelWithGround = false;
    bool WorldEdgeLevelSmooth = false;
    bool WorldEdgeOverHang = false;
    int WorldEdgeOverHangN = 0;
    int WorldEdgeOverHangS = 0;
    int WorldEdgeOverHangW = 0;
    int WorldEdgeOverHangE = 0;
    bool AW_Terrain = false;
    bool WorldVersion4 = false;
    std::string VerticalScale = "0.01";
    bool DVerticalScale = true;
    int VerticalPreScale = 0;  // choice: factor 10^index

    // [RWXOptions]
    bool NoRWX = false;
    std::string RWXFile;
    bool ZipIt = true;
    bool OptimizePolygons = true;
    bool SingleObjectGround = false;
    bool TextureModesLit = true;
    bool TextureModesForeShorten = true;
    bool TextureModesFilter = false;
    bool GradientColouring = true;
    bool MaterialModesDouble = true;
    bool DoubleSidedObject = false;
    bool UseTriangle = true;
    bool UseTranslate = false;
    bool SolidOff = false;
    int LightSampling = 0;  // choice: 0 Vertex, 1 Facet
    std::string Ambient = "0.56";
    std::string Diffuse = "0.3";
    std::string Specular = "0.0";
    bool UsePrelight = false;
    std::string PrelightR = "0.5";
    std::string PrelightG = "0.5";
    std::string PrelightB = "0.5";
    std::string FtpHostURL = "localhost";
    std::string FtpHostPort = "21";
    std::string FtpUserID = "Username";
    std::string FtpDirectory = "aw/models";
    std::string FtpProxy;
    std::string FtpProxyPort;

    // [PropertyOptions]
    bool NoPropfile = false;
    bool BuildWithRobot = false;
    bool FlushWithGround = false;
    bool CreateBumpAtGZ = false;
    std::string CitizenNumber = "0";
    std::string PropFile;
    std::string PropElevation = "0";
    std::string PropCenterNS = "0";
    std::string PropCenterWE = "0";
    std::string BotCitNumber;
    std::string BotPrivPassw;
    std::string BotWorldName;
    std::string BotUniverseURL = "localhost";
    std::string BotUniversePort = "6670";
    int RotateWorld = 0;  // choice: 0, 90, 180, 270 degrees
    int RotateBot1 = 0;
    int RotateBot2 = 0;
    std::string BotCenterN = "0";
    int BotCenterNS = 0;  // choice: N, S
    std::string BotCenterW = "0";
    int BotCenterWE = 0;  // choice: W, E
    int BotSpeedBar = 10;

    // [LogOptions]
    bool LogEnable = false;
    bool DetailedLog = false;
    std::string LogFile;

    // [TreeZones]
    bool GenerateTrees = false;
    bool GenerateOnlyTrees = false;
    bool TreeRangeInPercent = false;
    bool TreeThinning = false;
    std::string TreeThinValue = "5";
    std::string TreeActionLine;
    std::string TreeScoreMin = "1";
    std::string TreeScoreMax = "10";
    std::array<TreeZoneRow, kZoneRows> TreeZones{};

    // [TextureZones]
    bool NoObjectTextures = false;
    std::string NumberOfTiles = "4";
    bool UseUniqueTextures = false;
    std::string UniqueTexturePrefix = "ztxt";
    bool CliffTextures = false;
    std::string CliffTextureName = "stone2";
    std::string CliffTextureMin = "10000";
    bool RangeInPercent = false;
    bool UseAvgHeight = false;
    Colour CliffColour = 0x000000;
    bool DontRotate = false;
    std::array<TextureZoneRow, kZoneRows> TextureZones{};

    // Not saved in the project file.
    bool FtpToHost = false;
    std::string FtpPassword;
    std::string ZipPassword;
    bool RelaxToOtherApps = false;
    std::string TerragenReadingOffset = "0";
    bool DeleteOldTerrain = false;
    bool FtpPassive = false;  // passive FTP data connections, for servers behind a firewall
};

// Settings as they stand at start-up; the four paths are formed from workDir.
ConversionSettings defaultSettings(const std::filesystem::path& workDir);

// Cells along one side of a ground object: the Scaling choice + 1.
inline int scalingStep(const ConversionSettings& s) { return s.Scaling + 1; }

}  // namespace gorvale
