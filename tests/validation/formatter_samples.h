#pragma once

#include <ostream>

// One valid sentence (without checksum) of every formatter that has a rule of its own, with
// the formatter's minimum number of data fields: the generic suite runs over them and the fuzz
// seeds are made of them. Most are real captures.
namespace vorlane::test {

struct formatter_sample {
    const char* name;
    int minimum;
    const char* body;
};

inline void PrintTo(const formatter_sample& s, std::ostream* os) {
    *os << s.name;
}

inline constexpr formatter_sample formatter_samples[] = {
    {"GGA", 14, "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"},
    {"GLL", 7, "$GPGLL,4916.45,N,12311.12,W,225444,A,A"},
    {"GNS", 13, "$GNGNS,014035.00,4332.69262,S,17235.48549,E,RR,13,0.9,25.63,11.24,,,S"},
    {"RMC", 13, "$GPRMC,225446,A,4916.45,N,12311.12,W,000.5,054.7,191194,020.3,E,A,S"},
    {"DTM", 8, "$GPDTM,999,,0.08,N,0.07,E,-47.7,W84"},
    {"ZDA", 6, "$GPZDA,160012.71,11,03,2004,-01,00"},
    {"VTG", 9, "$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K,A"},
    {"WPL", 5, "$GPWPL,4917.16,N,12310.64,W,003"},
    {"RTE", 5, "$GPRTE,2,1,c,0,PBRCPK"},
    {"HDT", 2, "$HEHDT,271.1,T"},
    {"THS", 2, "$INTHS,304.5,A"},
    {"ROT", 2, "$HEROT,-11.23,A"},
    {"RSA", 4, "$IIRSA,10.5,A,0.4,A"},
    {"VBW", 10, "$VMVBW,12.3,0.07,A,12.2,0.05,A,0.03,A,0.02,A"},
    {"VHW", 8, "$SDVHW,239.7,T,238.3,M,6.5,N,12.1,K"},
    {"VDR", 6, "$IIVDR,211.0,T,210.2,M,1.25,N"},
    {"OSD", 9, "$RAOSD,35.1,A,36.0,P,10.2,P,15.3,0.1,N"},
    {"MTW", 2, "$YXMTW,15.2,C"},
    {"MWV", 5, "$WIMWV,99.9,T,11.4,N,A"},
    {"DBT", 6, "$SDDBT,8.1,f,2.5,M,1.4,F"},
    {"DPT", 3, "$SDDPT,6.7,0.4,100"},
    {"XDR", 4, "$HCXDR,A,-1.5,D,PITCH"},
    {"TRC", 8, "$IITRC,1,50.0,P,10.0,P,90.0,B,C"},
    {"TRD", 6, "$IITRD,1,50.0,P,10.0,P,90.0"},
    {"ABM", 8, "!AIABM,2,1,3,244123456,1,6,J1@@0IAWR1NP5@mt,0"},
    {"BBM", 7, "!UPBBM,1,1,8,0,8,Fv4:Rb11Jq;=0Gjl:4vT80,4"},
    {"MEB", 13, "!AIMEB,1,1,0,0,244123456,8,0,0,,1,C,Fv4:Rb11Jq;=0Gjl:4vT80,4"},
    {"VDM", 6, "!AIVDM,2,1,7,A,53aGulD0000000c7?0918Tq<E>0<Q8U=@Tp400155P:22uG`002ShTj0,0"},
    {"VDO", 6, "!AIVDO,1,1,,B,13`kvwO005wJnb0Lfo:@7P8F05`L,0"},
    {"TTD", 5, "!RATTD,1A,01,1,H77nSfPh4U=<E`H4U8G;:222220,2"},
    {"ABK", 5, "$ANABK,,B,8,5,3"},
    {"TTM", 15, "$RATTM,11,25.3,13.7,T,7.0,20.0,T,10.1,20.2,N,NAME,Q,,175550.24,A"},
    {"TLB", 2, "$RATLB,1,SHIPONE,2,SHIPTWO,3,SHIPTHREE"},
    {"RSD", 13, "$RARSD,,,,,,,,,0.808,326.9,0.750,N,N"},
    {"ALF", 13, "$VDALF,1,1,0,220516,B,W,A,,3015,1,1,0,Bilge pump alarm"},
    {"ALC", 4, "$FBALC,01,01,03,02,,3015,1,1,XYZ,10001,,2"},
    {"ACN", 6, "$RAACN,220516,,3015,1,A,C"},
    {"ARC", 5, "$RAARC,220516,,3015,1,A"},
    {"ALR", 5, "$RAALR,220516,001,A,A,Bilge pump alarm1"},
    {"ACK", 1, "$VRACK,001"},
    {"HBT", 3, "$AIHBT,30,A,1"},
    {"VER", 10, "$AIVER,1,1,AI,ABC,UID123,SN12345,MODEL1,1.2.3,2.0,"},
    {"GEN", 3, "$VRGEN,0000,011200.00,0123,4567,89AB,CDEF"},
    {"NSR", 13, "$INNSR,P,A,P,A,F,V,D,N,N,N,W,P,A"},
    {"NRM", 5, "$INNRM,2,1,00001E1F,00000023,C"},
    {"NRX", 13, "$CRNRX,001,001,00,IE69,1,135600,27,06,2001,26,0,A,HF-MSI BODY"},
    {"TXT", 4, "$AITXT,01,01,25,AIS: Internal GNSS in use"},
    {"TUT", 6, "$INTUT,SD,01,01,1,A,5368616C6C6F7720576174657221"},
};

}  // namespace vorlane::test
