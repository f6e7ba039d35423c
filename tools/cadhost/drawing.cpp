#include "tools/cadhost/drawing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace cadhost {

namespace {

std::string Num(double v) {
    if (std::fabs(v) < 5e-13) v = 0;  // no "-0" in the files
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.10g", v);
    return buf;
}

// DXF text in plain ASCII: anything else as AutoCAD's \U+XXXX escape, and
// characters that would break a DXF line (CR, LF) as escapes too.
std::string DxfText(const std::u16string& t) {
    std::string out;
    for (size_t i = 0; i < t.size(); ++i) {
        char32_t c = t[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < t.size() && t[i + 1] >= 0xDC00 && t[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (t[i + 1] - 0xDC00);
            ++i;
        }
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char buf[16];
            std::snprintf(buf, sizeof buf, "\\U+%04X", static_cast<unsigned>(c));
            out += buf;
        }
    }
    return out;
}

std::string XmlText(const std::u16string& t) {
    std::string out;
    for (char16_t c : t) {
        switch (c) {
            case u'&':
                out += "&amp;";
                break;
            case u'<':
                out += "&lt;";
                break;
            case u'>':
                out += "&gt;";
                break;
            case u'"':
                out += "&quot;";
                break;
            default:
                if (c < 0x20 && c != u'\t') {
                    out += "\xEF\xBF\xBD";  // not allowed in XML 1.0
                } else {
                    out += ToUtf8(std::u16string_view(&c, 1));
                }
        }
    }
    return out;
}

void Bounds(const std::vector<Dimension>& dims, const std::vector<Point>& points, double& minx, double& miny,
            double& maxx, double& maxy) {
    bool any = false;
    minx = miny = maxx = maxy = 0;
    auto grow = [&](const Point& p) {
        if (!any) {
            minx = maxx = p.x;
            miny = maxy = p.y;
            any = true;
            return;
        }
        minx = std::min(minx, p.x);
        maxx = std::max(maxx, p.x);
        miny = std::min(miny, p.y);
        maxy = std::max(maxy, p.y);
    };
    for (const auto& d : dims) {
        grow(d.p1);
        grow(d.p2);
        grow(d.pos);
    }
    for (const auto& p : points) grow(p);
}

}  // namespace

std::u16string ResolvedText(const Dimension& d) {
    const std::u16string measured = FormatMeasurement(d.measurement);
    if (!d.text) return measured;
    std::u16string out;
    const std::u16string& t = *d.text;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] == u'<' && i + 1 < t.size() && t[i + 1] == u'>') {
            out += measured;
            ++i;
        } else {
            out += t[i];
        }
    }
    return out;
}

TextLayout SplitText(const std::u16string& resolved) {
    TextLayout layout;
    std::vector<std::u16string>* part = &layout.above;
    std::u16string line;
    for (size_t i = 0; i < resolved.size(); ++i) {
        if (resolved[i] == u'\\' && i + 1 < resolved.size()) {
            const char16_t code = resolved[i + 1];
            if (code == u'P') {
                part->push_back(line);
                line.clear();
                ++i;
                continue;
            }
            if (code == u'X' && part == &layout.above) {
                part->push_back(line);
                line.clear();
                part = &layout.below;
                ++i;
                continue;
            }
        }
        line += resolved[i];
    }
    part->push_back(line);
    return layout;
}

double DrawingScale(const std::vector<Dimension>& dims, const std::vector<Point>& points) {
    double minx, miny, maxx, maxy;
    Bounds(dims, points, minx, miny, maxx, maxy);
    const double extent = std::max(maxx - minx, maxy - miny);
    const double want = extent / 120;  // text about 1/50 of the drawing
    if (!(want > 1e-6) || !std::isfinite(want)) return 1;
    const double decade = std::pow(10.0, std::floor(std::log10(want)));
    for (double m : {1.0, 2.0, 5.0})
        if (want <= m * decade) return m * decade;
    return 10 * decade;
}

DimGeometry LayOut(const Dimension& d, double s) {
    DimGeometry g;
    const bool h = d.dir == Direction::H;
    // Work in (along, across): along the dimension line and across it, so one
    // layout serves both directions.
    auto make = [h](double along, double across) { return h ? Point{along, across, 0} : Point{across, along, 0}; };
    const double a1 = h ? d.p1.x : d.p1.y, c1 = h ? d.p1.y : d.p1.x;
    const double a2 = h ? d.p2.x : d.p2.y, c2 = h ? d.p2.y : d.p2.x;
    const double line_c = h ? d.pos.y : d.pos.x;

    auto ext = [&](double a, double c) {
        const double side = line_c >= c ? 1 : -1;
        return Segment{make(a, c + side * kExtOffset * s), make(a, line_c + side * kExtBeyond * s)};
    };
    g.ext1 = ext(a1, c1);
    g.ext2 = ext(a2, c2);
    g.line = Segment{make(a1, line_c), make(a2, line_c)};
    const double t = kTickSize * s * 0.5;
    // Oblique ticks lean the same way in both directions, as AutoCAD draws
    // them (from lower left to upper right).
    g.tick1 = Segment{Point{g.line.a.x - t, g.line.a.y - t, 0}, Point{g.line.a.x + t, g.line.a.y + t, 0}};
    g.tick2 = Segment{Point{g.line.b.x - t, g.line.b.y - t, 0}, Point{g.line.b.x + t, g.line.b.y + t, 0}};

    const TextLayout lay = SplitText(ResolvedText(d));
    const double th = kTextHeight * s, gap = kTextGap * s, pitch = kLineSpacing * th;
    const double mid = (a1 + a2) / 2;
    // "Above" a vertical dimension line is to its left: its text reads upwards.
    const double up = h ? 1 : -1;
    const size_t n_above = lay.above.size();
    for (size_t k = 0; k < n_above; ++k) {
        const double off = gap + th / 2 + static_cast<double>(n_above - 1 - k) * pitch;
        if (lay.above[k].empty() && lay.below.empty() && n_above == 1) break;
        g.texts.push_back(TextLine{lay.above[k], make(mid, line_c + up * off), th, h ? 0.0 : 90.0});
    }
    for (size_t k = 0; k < lay.below.size(); ++k) {
        const double off = gap + th / 2 + static_cast<double>(k) * pitch;
        g.texts.push_back(TextLine{lay.below[k], make(mid, line_c - up * off), th, h ? 0.0 : 90.0});
    }
    return g;
}

std::string WriteDxf(const std::vector<Dimension>& dims, const std::vector<Point>& points) {
    const double s = DrawingScale(dims, points);
    double minx, miny, maxx, maxy;
    Bounds(dims, points, minx, miny, maxx, maxy);
    std::string out;
    auto g = [&out](int code, const std::string& value) {
        out += std::to_string(code);
        out += "\n";
        out += value;
        out += "\n";
    };
    auto gn = [&](int code, double v) { g(code, Num(v)); };
    auto gi = [&](int code, long v) { g(code, std::to_string(v)); };
    auto point = [&](int code, const Point& p) {
        gn(code, p.x);
        gn(code + 10, p.y);
        gn(code + 20, p.z);
    };
    auto line = [&](const Segment& seg, const char* layer) {
        g(0, "LINE");
        g(8, layer);
        point(10, seg.a);
        point(11, seg.b);
    };

    g(0, "SECTION");
    g(2, "HEADER");
    g(9, "$ACADVER");
    g(1, "AC1009");
    g(9, "$DWGCODEPAGE");
    g(3, "ANSI_1252");
    g(9, "$INSBASE");
    point(10, Point{});
    g(9, "$EXTMIN");
    point(10, Point{minx, miny, 0});
    g(9, "$EXTMAX");
    point(10, Point{maxx, maxy, 0});
    g(9, "$DIMSCALE");
    gn(40, s);
    g(9, "$DIMTXT");
    gn(40, kTextHeight);
    g(9, "$DIMTSZ");
    gn(40, kTickSize);
    g(9, "$DIMEXO");
    gn(40, kExtOffset);
    g(9, "$DIMEXE");
    gn(40, kExtBeyond);
    g(9, "$DIMGAP");
    gn(40, kTextGap);
    g(9, "$DIMTAD");
    gi(70, 1);
    g(9, "$DIMTIH");
    gi(70, 0);
    g(9, "$DIMTOH");
    gi(70, 0);
    g(0, "ENDSEC");

    g(0, "SECTION");
    g(2, "TABLES");
    g(0, "TABLE");
    g(2, "LTYPE");
    gi(70, 1);
    g(0, "LTYPE");
    g(2, "CONTINUOUS");
    gi(70, 0);
    g(3, "Solid line");
    gi(72, 65);
    gi(73, 0);
    gn(40, 0);
    g(0, "ENDTAB");
    g(0, "TABLE");
    g(2, "LAYER");
    gi(70, 2);
    for (const char* layer : {"0", "DEFPOINTS"}) {
        g(0, "LAYER");
        g(2, layer);
        gi(70, 0);
        gi(62, 7);
        g(6, "CONTINUOUS");
    }
    g(0, "ENDTAB");
    g(0, "TABLE");
    g(2, "STYLE");
    gi(70, 1);
    g(0, "STYLE");
    g(2, "STANDARD");
    gi(70, 0);
    gn(40, 0);
    gn(41, 1);
    gn(50, 0);
    gi(71, 0);
    gn(42, kTextHeight);
    g(3, "txt");
    g(4, "");
    g(0, "ENDTAB");
    g(0, "TABLE");
    g(2, "APPID");
    gi(70, 1);
    g(0, "APPID");
    g(2, "ACAD");
    gi(70, 0);
    g(0, "ENDTAB");
    g(0, "TABLE");
    g(2, "DIMSTYLE");
    gi(70, 1);
    g(0, "DIMSTYLE");
    g(2, "STANDARD");
    gi(70, 0);
    gn(40, s);             // DIMSCALE
    gn(41, kTickSize);     // DIMASZ
    gn(42, kExtOffset);    // DIMEXO
    gn(44, kExtBeyond);    // DIMEXE
    gn(140, kTextHeight);  // DIMTXT
    gn(142, kTickSize);    // DIMTSZ: ticks instead of arrows
    gn(147, kTextGap);     // DIMGAP
    gi(73, 0);             // DIMTIH
    gi(74, 0);             // DIMTOH
    gi(77, 1);             // DIMTAD
    g(0, "ENDTAB");
    g(0, "ENDSEC");

    g(0, "SECTION");
    g(2, "BLOCKS");
    for (size_t i = 0; i < dims.size(); ++i) {
        const Dimension& d = dims[i];
        const std::string name = "*D" + std::to_string(i + 1);
        const DimGeometry geo = LayOut(d, s);
        g(0, "BLOCK");
        g(8, "0");
        g(2, name);
        gi(70, 1);
        point(10, Point{});
        g(3, name);
        g(1, "");
        line(geo.ext1, "0");
        line(geo.ext2, "0");
        line(geo.line, "0");
        line(geo.tick1, "0");
        line(geo.tick2, "0");
        for (const TextLine& t : geo.texts) {
            // Centred on its baseline, which lies under the centre.
            const double drop = t.height * 0.4;
            const Point base =
                t.angle == 0 ? Point{t.center.x, t.center.y - drop, 0} : Point{t.center.x + drop, t.center.y, 0};
            g(0, "TEXT");
            g(8, "0");
            point(10, base);
            gn(40, t.height);
            g(1, DxfText(t.text));
            gn(50, t.angle);
            g(7, "STANDARD");
            gi(72, 1);
            point(11, base);
        }
        for (const Point& p : {d.p1, d.p2, geo.line.b}) {
            g(0, "POINT");
            g(8, "DEFPOINTS");
            point(10, p);
        }
        g(0, "ENDBLK");
        g(8, "0");
    }
    g(0, "ENDSEC");

    g(0, "SECTION");
    g(2, "ENTITIES");
    for (size_t i = 0; i < dims.size(); ++i) {
        const Dimension& d = dims[i];
        const DimGeometry geo = LayOut(d, s);
        g(0, "DIMENSION");
        g(8, "0");
        g(2, "*D" + std::to_string(i + 1));
        point(10, geo.line.b);  // where the dimension line meets the second extension line
        const Point mid{(geo.line.a.x + geo.line.b.x) / 2, (geo.line.a.y + geo.line.b.y) / 2, 0};
        point(11, mid);
        gi(70, 0);  // linear (rotated, horizontal or vertical)
        if (d.text) g(1, DxfText(*d.text));
        g(3, "STANDARD");
        point(13, d.p1);
        point(14, d.p2);
        gn(50, d.dir == Direction::H ? 0 : 90);
    }
    g(0, "ENDSEC");
    g(0, "EOF");
    return out;
}

std::string WriteSvg(const std::vector<Dimension>& dims, const std::vector<Point>& points) {
    const double s = DrawingScale(dims, points);
    double minx, miny, maxx, maxy;
    Bounds(dims, points, minx, miny, maxx, maxy);
    const double margin = 12 * kTextHeight * s;
    minx -= margin;
    miny -= margin;
    maxx += margin;
    maxy += margin;
    const double w = maxx - minx, h = maxy - miny;
    // y grows downwards in SVG: every y is written as -y.
    auto X = [](double x) { return Num(x); };
    auto Y = [](double y) { return Num(-y); };
    const double stroke = 0.18 * s;
    std::string out;
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    const double px_w = 1200, px_h = std::max(200.0, std::min(2400.0, px_w * h / w));
    out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Num(px_w) + "\" height=\"" + Num(px_h) +
           "\" viewBox=\"" + X(minx) + " " + Y(maxy) + " " + Num(w) + " " + Num(h) + "\">\n";
    out += "<rect x=\"" + X(minx) + "\" y=\"" + Y(maxy) + "\" width=\"" + Num(w) + "\" height=\"" + Num(h) +
           "\" fill=\"white\"/>\n";
    auto seg = [&](const Segment& sg, const char* cls, double width) {
        out += "<line class=\"" + std::string(cls) + "\" x1=\"" + X(sg.a.x) + "\" y1=\"" + Y(sg.a.y) + "\" x2=\"" +
               X(sg.b.x) + "\" y2=\"" + Y(sg.b.y) + "\" stroke=\"black\" stroke-width=\"" + Num(width) + "\"/>\n";
    };
    for (size_t i = 0; i < dims.size(); ++i) {
        const DimGeometry g = LayOut(dims[i], s);
        out += "<g class=\"dimension\" id=\"D" + std::to_string(i + 1) + "\">\n";
        seg(g.ext1, "ext", stroke);
        seg(g.ext2, "ext", stroke);
        seg(g.line, "dimline", stroke);
        seg(g.tick1, "tick", stroke * 3);
        seg(g.tick2, "tick", stroke * 3);
        for (const TextLine& t : g.texts) {
            out += "<text x=\"" + X(t.center.x) + "\" y=\"" + Y(t.center.y) + "\" font-size=\"" + Num(t.height) +
                   "\" font-family=\"IPAGothic, MS Gothic, sans-serif\" text-anchor=\"middle\" "
                   "dominant-baseline=\"central\"";
            if (t.angle != 0)
                out += " transform=\"rotate(" + Num(-t.angle) + " " + X(t.center.x) + " " + Y(t.center.y) + ")\"";
            out += '>';
            out += XmlText(t.text);
            out += "</text>\n";
        }
        out += "</g>\n";
    }
    const double c = 1.2 * s;
    for (const Point& p : points) {
        seg(Segment{Point{p.x - c, p.y, 0}, Point{p.x + c, p.y, 0}}, "pick", stroke);
        seg(Segment{Point{p.x, p.y - c, 0}, Point{p.x, p.y + c, 0}}, "pick", stroke);
    }
    out += "</svg>\n";
    return out;
}

}  // namespace cadhost
