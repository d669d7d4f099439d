// Writes the seed corpora of the fuzz harnesses: OUTDIR/<harness>/<name>, one
// small valid input per path through each parser (every DICOM pipeline and
// JPEG codec, every TIFF route and compression, the settings file's forms).
// Run at build time, so that no input comes from elsewhere.
#include "DicomWriter.h"
#include "ExamFile.h"
#include "JpegMaker.h"
#include "TDicomStream.h"
#include "TMemoryStream.h"
#include "TTiffGraphic.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
namespace T = DicomTag;

std::vector<uint8_t> Ramp8(int count, int components = 1)
{
    std::vector<uint8_t> v(size_t(count) * size_t(components));
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = uint8_t(i * 37 % 251);
    return v;
}

std::vector<uint16_t> Ramp12(int count)
{
    std::vector<uint16_t> v(static_cast<size_t>(count));
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = uint16_t(i * 257 % 4096);
    return v;
}

DicomWriter Header(int rows, int cols, int bits, int samples, bool little = true, bool preamble = true)
{
    DicomWriter w(little, preamble);
    w.Text(T::PatientName, "SEED^PATIENT").Text(T::StudyDate, "20240131").Text(T::StudyDescription, "SEED");
    w.Text(T::SeriesInstanceUID, "1.2.3.4").Text(T::InstanceNumber, "1");
    w.U16(T::SamplesPerPixel, uint16_t(samples)).U16(T::Rows, uint16_t(rows)).U16(T::Columns, uint16_t(cols));
    w.U16(T::BitsAllocated, uint16_t(bits));
    return w;
}

std::vector<std::pair<std::string, std::string>> DicomSeeds()
{
    std::vector<std::pair<std::string, std::string>> seeds;
    seeds.emplace_back("grey8.dcm", Header(8, 8, 8, 1).Pixels8(Ramp8(64)).Data());
    std::vector<int16_t> samples16(64);
    for (size_t i = 0; i < samples16.size(); ++i)
        samples16[i] = int16_t(i * 97 - 2000);
    DicomWriter windowed = Header(8, 8, 16, 1, true, false);
    windowed.Text(T::PhotometricInterpretation, "MONOCHROME1").Text(T::WindowCenter, "-600.5\\40");
    windowed.Text(T::WindowWidth, "1500").Text(T::RescaleIntercept, "-1024").Text(T::RescaleSlope, "1.5");
    seeds.emplace_back("grey16-window.dcm", windowed.Pixels16(samples16).Data());
    seeds.emplace_back("grey16-big-endian.dcm", Header(8, 8, 16, 1, false).Pixels16(samples16).Data());
    DicomWriter planar = Header(4, 4, 8, 3);
    planar.U16(T::PlanarConfiguration, 1);
    seeds.emplace_back("rgb-planar.dcm", planar.Pixels8(Ramp8(16, 3)).Data());
    seeds.emplace_back("rgb.dcm", Header(4, 4, 8, 3).Pixels8(Ramp8(16, 3)).Data());

    DicomWriter jpegGrey = Header(16, 16, 8, 1);
    jpegGrey.U16(T::PrivateCompressedShift10, 0).Element(T::PixelData, MakeJpeg8(16, 16, 1, Ramp8(256)));
    seeds.emplace_back("jpeg8-grey.dcm", jpegGrey.Data());
    Jpeg8Options progressive;
    progressive.progressive = true;
    DicomWriter jpegColour = Header(16, 16, 8, 3);
    jpegColour.U16(T::PrivateCompressedShift1, 0)
        .Element(T::PixelData, MakeJpeg8(16, 16, 3, Ramp8(256, 3), progressive));
    seeds.emplace_back("jpeg8-progressive-colour.dcm", jpegColour.Data());
    DicomWriter lossless = Header(16, 16, 16, 1);
    lossless.U16(T::PrivateCompressedShift10, 2).U16(T::PrivateSampleOffset, 100);
    lossless.Text(T::WindowCenter, "500").Text(T::WindowWidth, "1000");
    seeds.emplace_back("jpeg12-lossless.dcm", lossless.Element(T::PixelData, MakeJpeg12Lossless(16, 16, Ramp12(256))).Data());
    DicomWriter dct = Header(16, 16, 16, 1);
    dct.U16(T::PrivateCompressedShift10, 0).Element(T::PixelData, MakeJpeg12Dct(16, 16, Ramp12(256)));
    seeds.emplace_back("jpeg12-dct.dcm", dct.Data());

    DicomWriter multi = Header(4, 4, 8, 1);
    multi.Text(T::ManufacturerModelName, "ARS").Text(T::SeriesDescription, "MULTI");
    for (int n : {2, 1, 3}) {
        multi.ItemStart().Text(T::InstanceNumber, std::to_string(n)).U16(T::Rows, 2).U16(T::Columns, 2);
        multi.Pixels8({uint8_t(n), 2, 3, 4}).ItemEnd();
    }
    seeds.emplace_back("multi-image.dcm", multi.Data());
    DicomWriter multi16 = Header(2, 2, 16, 1, true, false);
    for (int n = 1; n <= 2; ++n)
        multi16.ItemStart().Text(T::InstanceNumber, std::to_string(n)).Pixels16({-5, 5, 100, int16_t(n)}).ItemEnd();
    seeds.emplace_back("multi-image16.dcm", multi16.Data());
    return seeds;
}

std::vector<std::pair<std::string, std::string>> ExamSeeds()
{
    ExamFile one;
    one.Seri().Imag("A.DCM", 1200, 200).Imag("A.DCM", 300, -100);
    ExamFile two;
    two.Chunk("Prep", "abc").Seri().Imag("B.DCM", 10, 0).Seri().Imag("A.DCM", 32767, -32768);
    two.Imag("A.DCM", 40, 20).Imag("A.DCM", 9, 8);
    return {{"one-series", one.Data()}, {"two-series", two.Data()}};
}

std::string TiffOf(const std::vector<TTiffGraphic*>& pages)
{
    TMemoryStream stream;
    for (TTiffGraphic* page : pages)
        page->AppendToStream(stream);
    return std::string(reinterpret_cast<const char*>(stream.Memory()), size_t(stream.Size()));
}

void Fill(TTiffGraphic& image, int width, int height, TImageFormat format)
{
    image.NewImage(width, height, format, nullptr, 96, 72);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.SetPixel(x, y, uint32_t((x * 40) << 16 | (y * 30) << 8 | ((x + y) * 20)) & 0xFFFFFF);
}

std::vector<std::pair<std::string, std::string>> TiffSeeds()
{
    std::vector<std::pair<std::string, std::string>> seeds;
    struct Page {
        const char* name;
        TImageFormat format;
        TTiffCompression compression;
    };
    const Page pages[] = {
        {"bw-group4.tif", ifBlackWhite, tcGroup4},     {"bw-group3-2d.tif", ifBlackWhite, tcGroup3_2D},
        {"bw-group3.tif", ifBlackWhite, tcGroup3_1D},  {"grey16.tif", ifGray16, tcPackBits},
        {"grey256-zlib.tif", ifGray256, tcZLib},       {"colour16.tif", ifColor16, tcNone},
        {"colour256.tif", ifColor256, tcPackBits},     {"truecolour-jpeg.tif", ifTrueColor, tcJpeg},
        {"truecolour.tif", ifTrueColor, tcNone},
    };
    for (const Page& p : pages) {
        TTiffGraphic image;
        Fill(image, 24, 10, p.format);
        image.SetCompression(p.compression);
        seeds.emplace_back(p.name, TiffOf({&image}));
    }
    TTiffGraphic a, b, c;
    Fill(a, 8, 8, ifGray256);
    Fill(b, 5, 3, ifTrueColor);
    Fill(c, 17, 2, ifBlackWhite);
    seeds.emplace_back("three-pages.tif", TiffOf({&a, &b, &c}));
    return seeds;
}

std::vector<std::pair<std::string, std::string>> ProfileSeeds()
{
    return {
        {"settings.ini", "[FTP]\nHost=ftp.example.org\nPort=21\nPassive=1\nRoot=/referring\n"
                         "[Users]\nLast=DR SMITH\nRemember=0\n"},
        {"crlf.ini", "; comment\r\n[ftp]\r\nhost = 10.0.0.1 \r\nport=-1\r\n[USERS]\r\nlast=\r\n[Other]\r\nx=y\r\n"},
    };
}

// Reply forms of the servers the program meets (vsftpd, proftpd, pure-ftpd,
// the test server) and of hostile ones, one conversation per seed.
std::vector<std::pair<std::string, std::string>> ReplySeeds()
{
    return {
        {"vsftpd.txt", "220 (vsFTPd 3.0.3)\r\n331 Please specify the password.\r\n230 Login successful.\r\n"
                       "257 \"/\" is the current directory\r\n200 Switching to Binary mode.\r\n"
                       "229 Entering Extended Passive Mode (|||40001|)\r\n"
                       "150 Opening BINARY mode data connection for f101 (10000 bytes).\r\n226 Transfer complete.\r\n"
                       "213 10000\r\n550 Could not get file size.\r\n"},
        {"vsftpd-features.txt", "211-Features:\r\n EPRT\r\n EPSV\r\n MDTM\r\n PASV\r\n REST STREAM\r\n SIZE\r\n"
                                " TVFS\r\n211 End\r\n"},
        {"vsftpd-refusals.txt", "530 Login incorrect.\r\n522 SSL connection failed: session reuse required\r\n"
                                "421 There are too many connections from your internet address.\r\n"
                                "500 OOPS: vsftpd: refusing to run with writable root inside chroot()\r\n"
                                "234 Proceed with negotiation.\r\n227 Entering Passive Mode (127,0,0,1,156,65).\r\n"},
        {"proftpd.txt", "220 ProFTPD Server (Debian) [::ffff:127.0.0.1]\r\n331 Password required for doc\r\n"
                        "230 User doc logged in\r\n227 Entering Passive Mode (127,0,0,1,122,16).\r\n"
                        "425 Unable to build data connection: Operation not permitted\r\n"
                        "530 Sorry, the maximum number of clients (2) from your host are already connected.\r\n"
                        "213 2550\r\n"},
        {"proftpd-features.txt", "211-Features:\r\n LANG en-US*\r\n MDTM\r\n MFMT\r\n TVFS\r\n UTF8\r\n"
                                 " MLST modify*;perm*;size*;type*;unique*;UNIX.group*;UNIX.mode*;UNIX.owner*;\r\n"
                                 " REST STREAM\r\n SIZE\r\n211 End\r\n"},
        {"pure-ftpd.txt", "220---------- Welcome to Pure-FTPd [privsep] [TLS] ----------\r\n"
                          "220-You are user number 1 of 50 allowed.\r\n220-Local time is now 05:00. Server port: 2121.\r\n"
                          "220 You will be disconnected after 15 minutes of inactivity.\r\n"
                          "230 OK. Current directory is /\r\n229 Extended Passive mode OK (|||30001|)\r\n"
                          "227 Entering Passive Mode (127,0,0,1,117,48)\r\n421 Too many connections (2) from this IP\r\n"},
        {"hostile.txt", "220 \x1b]0;owned\x07\x1b[31mred\x9b" "2J\r\n213 99999999999\r\n213 -5\r\n213 2147483648\r\n"
                        "213 2147483647 \r\n2130\r\n999 x\r\n227 (10,0,0,1,0,21)\r\n229 (|||0|)\r\n"
                        "229 Entering Extended Passive Mode (|||99999|)\r\n227 =1,2,3,4,5,6\r\nPASS secret\r\n"},
    };
}

std::vector<std::pair<std::string, std::string>> MachineListingSeeds()
{
    return {
        {"proftpd.txt", "modify=20240131120000;perm=flcdmpe;type=cdir;unique=FD01U2;UNIX.mode=0755; .\r\n"
                        "modify=20240131120000;perm=flcdmpe;type=pdir;unique=FD01U1;UNIX.mode=0755; ..\r\n"
                        "modify=20240131120000;perm=adfr;size=10000;type=file;unique=FD01U3;UNIX.mode=0644; f101\r\n"
                        "modify=20240131120000;perm=adfr;size=6;type=OS.unix=symlink;unique=FD01U4; link.dcm\r\n"
                        "modify=20240131120000;perm=flcdmpe;type=dir;unique=FD01U5; sub\r\n"},
        {"pure-ftpd.txt", "type=cdir;sizd=4096;modify=20240131120000;UNIX.mode=0755;unique=803g2; .\r\n"
                          "type=file;size=10000;modify=20240131120000;UNIX.mode=0644;unique=803g3; f101\r\n"
                          "type=OS.unix=slink:/home/doc/x.dcm;size=6;modify=20240131120000; link.dcm\r\n"},
        {"pyftpdlib.txt", "type=file;size=10000;perm=r;modify=20240131120000; f 101 with blanks\r\n"
                          "type=dir;perm=el;modify=20240131120000; folder\n"},
        {"hostile.txt", "Type=FILE;Size=12; upper\r\ntype=file;size=99999999999; big\r\ntype=file;size=; empty\r\n"
                        "type=file;size=-1; negative\r\nnoblank\r\n; \r\ntype=file;size=5;\r\n"
                        "type=file;size=7; ../escape\r\n\r\n\r\r\n"},
    };
}

std::vector<std::pair<std::string, std::string>> NameListSeeds()
{
    return {
        {"groups.txt", "cardiology\r\nneurology\r\n"},
        {"patients.txt", "Doe, John\r\nSmith^Jane\r\nM\xc3\xbcller\r\n"},
        {"files.txt", "f101\nf102\nreport.pdf\nExam Info 1.txt\n"},
        {"hostile.txt", ".\r\n..\r\n../../etc\r\n/abs\r\nback\\slash\r\n\x1b[31mred\r\nIncomplete\r\n"
                        "tab\there\r\n\r\n\r\r\nlast-without-end"},
    };
}

bool WriteAll(const fs::path& folder, const std::vector<std::pair<std::string, std::string>>& seeds)
{
    fs::create_directories(folder);
    for (const auto& [name, bytes] : seeds) {
        FILE* f = std::fopen((folder / name).c_str(), "wb");
        if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0)
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    RegisterTiffGraphic();
    const fs::path out = argv[1];
    const auto dicom = DicomSeeds();
    const bool ok = WriteAll(out / "dicom_walk", dicom) && WriteAll(out / "dicom_decode", dicom) &&
                    WriteAll(out / "split_images", dicom) && WriteAll(out / "exam_info", ExamSeeds()) &&
                    WriteAll(out / "tiff", TiffSeeds()) && WriteAll(out / "profile", ProfileSeeds()) &&
                    WriteAll(out / "ftp_reply", ReplySeeds()) && WriteAll(out / "mlsd", MachineListingSeeds()) &&
                    WriteAll(out / "nlst", NameListSeeds());
    if (!ok) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
