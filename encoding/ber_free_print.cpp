// Releasing and printing structures described by ber_runtime.h.
#include "encoding/ber_runtime_internal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vrcore::ber {

namespace {

void FreeMemberList(const Hooks &h, const Type &t, unsigned char *base, int depth) {
    for (uint32_t i = 0; i < t.nmembers; ++i) {
        const Member &m = t.members[i];
        if (m.presence && !(base[0] & m.presence)) continue;
        FreeIn(h, *m.type, base + m.offset, depth + 1);
    }
}

} // namespace

void FreeIn(const Hooks &h, const Type &t, void *v, int depth) {
    auto *base = static_cast<unsigned char *>(v);
    switch (t.kind) {
    case Kind::Octets:
    case Kind::Open:
    case Kind::Oid: {
        auto *o = static_cast<OctetsField *>(v);
        if (o->value && !(t.kind == Kind::Oid && (t.flags & kInPlace))) h.free(o->value);
        o->value = nullptr;
        o->length = 0;
        return;
    }
    case Kind::Seq:
    case Kind::Set: FreeMemberList(h, t, base, depth); return;
    case Kind::Map:
        if (t.map->release) t.map->release(h, v);
        return;
    case Kind::Choice: {
        uint32_t c = GetChoice(t, v);
        for (uint32_t i = 0; i < t.nmembers; ++i)
            if (t.members[i].choice == c)
                FreeIn(h, *t.members[i].type, base + t.members[i].offset, depth + 1);
        return;
    }
    case Kind::SeqOf:
    case Kind::SetOf: {
        void *node = *static_cast<void **>(v);
        while (node) {
            void *next = *static_cast<void **>(node);
            FreeIn(h, *t.elem, static_cast<unsigned char *>(node) + t.elem_offset, depth + 1);
            h.free(node);
            node = next;
        }
        *static_cast<void **>(v) = nullptr;
        return;
    }
    case Kind::Ptr: {
        void *p = *static_cast<void **>(v);
        if (p) {
            FreeIn(h, *t.elem, p, depth + 1);
            h.free(p);
        }
        *static_cast<void **>(v) = nullptr;
        return;
    }
    default: return;
    }
}

namespace {

void Indent(std::string &out, int depth) { out.append(static_cast<size_t>(depth) * 2, ' '); }

void PrintBytes(std::string &out, const unsigned char *p, size_t n, bool text) {
    char tmp[8];
    if (text) {
        out += '"';
        for (size_t i = 0; i < n; ++i) {
            if (p[i] >= 0x20 && p[i] < 0x7f && p[i] != '"' && p[i] != '\\') {
                out += static_cast<char>(p[i]);
            } else {
                snprintf(tmp, sizeof tmp, "\\x%02x", p[i]);
                out += tmp;
            }
        }
        out += '"';
        return;
    }
    out += '\'';
    for (size_t i = 0; i < n; ++i) {
        snprintf(tmp, sizeof tmp, "%02X", p[i]);
        out += tmp;
    }
    out += "'H";
}

void PrintIn(const Type &t, const void *v, std::string &out, int depth) {
    const auto *base = static_cast<const unsigned char *>(v);
    char tmp[64];
    if (depth > kMaxDepth) {
        out += "...";
        return;
    }
    switch (t.kind) {
    case Kind::Bool: out += ReadInt(v, t.width, true) ? "TRUE" : "FALSE"; return;
    case Kind::Int:
    case Kind::Enum:
        snprintf(tmp, sizeof tmp, "%lld",
                 static_cast<long long>(ReadInt(v, t.width, t.flags & kUnsigned)));
        out += tmp;
        return;
    case Kind::Real: {
        double d;
        memcpy(&d, v, sizeof d);
        snprintf(tmp, sizeof tmp, "%.17g", d);
        out += tmp;
        return;
    }
    case Kind::Null: out += "NULL"; return;
    case Kind::Octets:
    case Kind::Open: {
        const auto *o = static_cast<const OctetsField *>(v);
        PrintBytes(out, o->value, o->value ? o->length : 0, t.univ != 0 && t.univ != 4);
        return;
    }
    case Kind::Oid: {
        const auto *o = static_cast<const OctetsField *>(v);
        out += '{';
        uint64_t sub = 0;
        bool first = true;
        for (uint32_t i = 0; o->value && i < o->length; ++i) {
            sub = (sub << 7) | (o->value[i] & 0x7f);
            if (o->value[i] & 0x80) continue;
            if (first) {
                unsigned a = sub < 40 ? 0 : sub < 80 ? 1 : 2;
                snprintf(tmp, sizeof tmp, "%u %llu", a,
                         static_cast<unsigned long long>(sub - 40ull * a));
                first = false;
            } else {
                snprintf(tmp, sizeof tmp, " %llu", static_cast<unsigned long long>(sub));
            }
            out += tmp;
            sub = 0;
        }
        out += '}';
        return;
    }
    case Kind::OctetsIn: {
        const auto *o = static_cast<const OctetsInField *>(v);
        PrintBytes(out, o->value, o->length <= t.max ? o->length : t.max, false);
        return;
    }
    case Kind::StringIn: {
        const char *s = static_cast<const char *>(v);
        PrintBytes(out, reinterpret_cast<const unsigned char *>(s), strnlen(s, t.max + 1), true);
        return;
    }
    case Kind::Seq:
    case Kind::Set: {
        out += "{\n";
        bool any = false;
        for (uint32_t i = 0; i < t.nmembers; ++i) {
            const Member &m = t.members[i];
            if (m.presence && !(base[0] & m.presence)) continue;
            if (m.ptr_optional &&
                !*static_cast<void *const *>(static_cast<const void *>(base + m.offset)))
                continue;
            if (any) out += ",\n";
            Indent(out, depth + 1);
            out += m.name;
            out += ' ';
            PrintIn(*m.type, base + m.offset, out, depth + 1);
            any = true;
        }
        out += '\n';
        Indent(out, depth);
        out += '}';
        return;
    }
    case Kind::Choice: {
        uint32_t c = GetChoice(t, v);
        for (uint32_t i = 0; i < t.nmembers; ++i) {
            if (t.members[i].choice != c) continue;
            out += t.members[i].name;
            out += " : ";
            PrintIn(*t.members[i].type, base + t.members[i].offset, out, depth);
            return;
        }
        out += "<bad choice>";
        return;
    }
    case Kind::SeqOf:
    case Kind::SetOf: {
        out += "{\n";
        const void *node = *static_cast<void *const *>(v);
        for (bool first = true; node; node = *static_cast<void *const *>(node), first = false) {
            if (!first) out += ",\n";
            Indent(out, depth + 1);
            PrintIn(*t.elem, static_cast<const unsigned char *>(node) + t.elem_offset, out,
                    depth + 1);
        }
        out += '\n';
        Indent(out, depth);
        out += '}';
        return;
    }
    case Kind::Ptr: {
        const void *p = *static_cast<void *const *>(v);
        if (!p) {
            out += "<null>";
            return;
        }
        PrintIn(*t.elem, p, out, depth);
        return;
    }
    case Kind::Map: {
        const Hooks heap{[](size_t n) { return malloc(n ? n : 1); }, [](void *p) { free(p); }};
        WireBlock w(heap, t);
        uint32_t code = 0;
        if (w.Build(v, &code)) {
            out += "<not convertible>";
            return;
        }
        PrintIn(*t.elem, w.Get(), out, depth);
        return;
    }
    }
}

} // namespace

void FreeContent(const Hooks &h, const Type &t, void *value) {
    if (value) FreeIn(h, t, value, 0);
}

void FreeTree(const Hooks &h, const Type &t, void *value) {
    if (!value) return;
    FreeIn(h, t, value, 0);
    h.free(value);
}

void Print(const Type &t, const void *value, std::string &out) {
    out += t.name;
    out += ' ';
    if (!value) {
        out += "<null>";
        return;
    }
    PrintIn(t, value, out, 0);
}

} // namespace vrcore::ber
