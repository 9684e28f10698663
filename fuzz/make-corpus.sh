#!/usr/bin/env bash
# Remakes the seed corpus fuzz/corpus/NAME/ of every fuzz target:
#   fuzz/make-corpus.sh [REAL_CORPUS] [SAMPLES_PROGRAM]
# REAL_CORPUS (default ../shared/corpus/real) gives the first KiB and the last
# 128 bytes of its audio files, SAMPLES_PROGRAM (default
# build/samples/sonorix-make-samples) the bundled sample files; the rest are
# small hand-made cases. The corpus is checked in; run this only to change it.
set -euo pipefail
cd "$(dirname "$0")/.."
real=${1:-../shared/corpus/real}
samples=${2:-build/samples/sonorix-make-samples}
out=fuzz/corpus
rm -rf "$out"
mkdir -p "$out"/{probe,frame_header,id3v1,text,wildcard,stored_list,rows}
mkdir -p "$out"/{stored_values,output_name,terminal_text,desktop_entry,list_options,full_analysis}
mkdir -p "$out"/cache_file

# seed FOLDER NAME FORMAT [ARGS...]: one file made by printf.
seed() {
    local folder=$1 name=$2
    shift 2
    # shellcheck disable=SC2059
    printf "$@" >"$out/$folder/$name"
}

zeros() { head -c "$1" /dev/zero; }

# The probe and the tag reader: real files, cut.
while IFS= read -r -d '' file; do
    name=$(echo "${file#"$real"/}" | tr '/' '-')
    head -c 1024 "$file" >"$out/probe/real-$name"
    tail -c 128 "$file" >"$out/id3v1/real-$name"
done < <(find "$real" -type f \( -name '*.mp3' -o -name '*.mp1' -o -name '*.mp2' \
    -o -name '*.wav' \) -print0 | sort -z)
# Keep every real tag, but only a few tails that hold none.
for tail in "$out"/id3v1/real-*; do
    case $(head -c 3 "$tail" | tr -d '\0' | tr 'a-z' 'A-Z') in
    TAG) ;;
    *) [ "$(cksum <"$tail" | cut -c1)" = 1 ] || rm "$tail" ;;
    esac
done

# The probe: the sample files whole, and a "Xing" frame at the last offset the
# search takes and one byte behind it, also behind a leading ID3v2 tag.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$samples" "$tmp/samples" >/dev/null
while IFS= read -r -d '' file; do
    cp "$file" "$out/probe/sample-$(basename "$file" | tr ' ' '_')"
done < <(find "$tmp/samples" -type f -print0)
xing_frame() { printf '\xff\xfb\x90\x44'; zeros 32; printf 'Xing\x00\x00\x00\x0f\x00\x00\x01\x00'; zeros 369; }
{ zeros 32000; xing_frame; zeros 300; } >"$out/probe/xing-at-bound"
{ zeros 32001; xing_frame; zeros 300; } >"$out/probe/xing-past-bound"
{ printf 'ID3\x03\x00\x00\x00\x00\x01\x76'; zeros 246; zeros 32000; xing_frame; zeros 300; } \
    >"$out/probe/xing-at-bound-behind-id3v2"
{ printf 'RIFF\x00\x00\x00\x00WAVEfmt '; zeros 20; printf 'data\x00\x10\x00\x00'; \
    printf '\xff\xfb\x90\x44'; zeros 413; printf '\xff\xfb\x90\x44'; zeros 3000; } >"$out/probe/riff"

# The tag reader: hand-made tags.
tag() { printf '%-3s%-30s%-30s%-30s%-4s%-28s' "$1" "$2" "$3" "$4" "$5" "$6"; printf "$7"; }
tag TAG Title Artist Album 1999 Comment '\x00\x07\x11' >"$out/id3v1/track-form"
tag TAG Title Artist Album 1999 'Comment long enough to fill' 'AB\xff' >"$out/id3v1/no-track"
tag tAg '\x93Quoted\x94' 'Mot\xf6rhead' '' '' '' ' \x1f\x93' >"$out/id3v1/lower-marker"
zeros 128 >"$out/id3v1/zeros"
{ printf 'TAG'; head -c 125 /dev/zero | tr '\0' ' '; } >"$out/id3v1/blanks"

# The full analysis: short files of the encoders that are installed, from
# generated noise (the same every run): MPEG audio with a VBR header, at
# MPEG-2 in mono (the header sits elsewhere) and without any, one file with
# ID3v2, APE and ID3v1 tags each holding other fields, and FLAC, Ogg Vorbis,
# Opus and WAV files. A missing encoder leaves its files out.
noise() { LC_ALL=C awk -v n="$1" 'BEGIN { srand(7); for (i = 0; i < n; i++) printf "%c", int(rand() * 256) }'; }
le32() { local v=$1; printf "\\x$(printf %02x $((v & 255)))\\x$(printf %02x $((v >> 8 & 255)))\\x$(printf %02x $((v >> 16 & 255)))\\x$(printf %02x $((v >> 24 & 255)))"; }
ape_item() { le32 ${#2}; le32 0; printf '%s\0%s' "$1" "$2"; }
# An APEv2 tag with a footer only: items, then "APETAGEX", version 2000,
# size of items and footer, item count, flags, eight reserved bytes.
ape_tag() {
    local items="$tmp/ape-items"
    { ape_item Title 'Title from APE'; ape_item Artist 'Artist from APE'; ape_item Year 1999; } >"$items"
    cat "$items"
    printf 'APETAGEX'; le32 2000; le32 $(($(wc -c <"$items") + 32)); le32 3; le32 0; zeros 8
}
full=$out/full_analysis
noise 22048 >"$tmp/stereo.raw" # an eighth of a second at 44.1 kHz
noise 44100 >"$tmp/mono.raw"   # a second at 22.05 kHz
if command -v lame >/dev/null; then
    # (lame warns on every raw input that its sound library may seek in it)
    lame_raw() { lame --quiet -r --bitwidth 16 --signed --little-endian "$@" 2>/dev/null; }
    lame_raw -s 44.1 -V 2 "$tmp/stereo.raw" "$full/vbr-xing.mp3"
    lame_raw -s 22.05 -m m -V 4 "$tmp/mono.raw" "$full/mpeg2-mono-vbr.mp3"
    lame_raw -s 44.1 -t -V 2 "$tmp/stereo.raw" "$full/vbr-no-header.mp3"
    lame_raw -s 44.1 -t -b 128 "$tmp/stereo.raw" "$full/cbr-no-header.mp3"
    lame_raw -s 44.1 -b 64 --id3v2-only --tt 'Title from ID3v2' --tn 3/12 --tg '(17)Rock' \
        "$tmp/stereo.raw" "$tmp/tagged.mp3"
    { cat "$tmp/tagged.mp3"; ape_tag
      tag TAG 'Title from ID3v1' 'Artist from ID3v1' 'Album from ID3v1' 1998 Comment '\x00\x05\x11'
    } >"$full/id3v2-ape-id3v1.mp3"
fi
if command -v flac >/dev/null; then
    flac --silent --force-raw-format --endian=little --sign=signed --channels=2 --bps=16 \
        --sample-rate=44100 -T TITLE=Flac -T DATE=2001-02-03 -T TRACKNUMBER=4/9 \
        -o "$full/tiny.flac" <(head -c 8192 "$tmp/stereo.raw")
fi
if command -v oggenc >/dev/null; then
    oggenc -Q -r -B 16 -C 2 -R 44100 -t Vorbis -d 1999 -o "$full/tiny.ogg" "$tmp/stereo.raw"
fi
if command -v opusenc >/dev/null; then
    opusenc --quiet --raw --raw-rate 44100 --raw-chan 2 --title Opus "$tmp/stereo.raw" \
        "$full/tiny.opus"
fi
{ printf 'RIFF'; le32 $((36 + 4410)); printf 'WAVEfmt '; le32 16; printf '\x01\x00\x01\x00'
  le32 44100; le32 88200; printf '\x02\x00\x10\x00data'; le32 4410; head -c 4410 "$tmp/mono.raw"
} >"$full/tiny.wav"
chmod 644 "$full"/*

# The frame header decoder: every header of each version and layer, and the
# numbers behind (the first eight bytes also read as a duration and a rate).
for b1 in e2 e3 e4 f2 f3 f4 f6 fa fb fc fd fe ff; do
    {
        for b2 in 00 10 44 90 a2 e0 f0 fc; do printf "\\xff\\x$b1\\x$b2\\x44"; done
    } >"$out/frame_header/b1-$b1"
done
seed frame_header seconds '\x3d\x0e\x00\x00\x00\x00\x00\x00\xff\xfb'
seed frame_header negative '\x00\x00\x00\x00\x00\x00\x00\x80\xff\xfb'
seed frame_header rate '\x9a\x99\x99\x99\x99\x19\x46\x40\xff\xf3'

# Text: the first byte is the cut length, the second picks the separator
# length, the rest is the text.
n=0
for text in 'plain' 'a,b' 'say "hi"' $'two\r\nlines' $'lone\rcr' $'lone\nlf' $'tab\there' \
    '<b>Tom & Jerry</b>' 'Motörhead' '€ 5' '🎵 song' 'Zürich ×÷' 'ÿŸ' ';semi;colon;'; do
    n=$((n + 1))
    printf '\x05\x01%s' "$text" >"$out/text/utf8-$n"
done
seed text cp1252-high '\x10\x02,;\x80\x81\x82\x83\x84\x85\x86\x87\x88\x89\x8a\x8b\x8c\x8d\x8e\x8f'
seed text cp1252-quotes '\x03\x01,\x91\x92\x93\x94\x95\x96\x97\x98\x99\x9a\x9b\x9c\x9d\x9e\x9f'
seed text latin1 '\x02\x00Mot\xf6rhead \xe4\xf6\xfc\xdf'
seed text cut-sequences '\x02\x03::a\xe2\x82\xc3\xf0\x9f\x8e'
seed text overlong '\x04\x00\xc0\xaf\xe0\x80\xaf\xed\xa0\x80\xf4\x90\x80\x80'
seed text empty '\x00\x00'

# Wildcards: pattern, a zero byte, the name.
n=0
while IFS='|' read -r pattern name; do
    n=$((n + 1))
    printf '%s\0%s' "$pattern" "$name" >"$out/wildcard/case-$n"
done <<'CASES'
*.mp3|song.mp3
*.mp3|SONG.MP3
*.MP3|song.mp3
*.mp3|song.mp3x
*.m?3|a.mp3
*.*|noext
*.|name.
*x|*ax
?.mp3|é.mp3
*.ÄÖÜ|x.äöü
*.ЖЁ|x.жё
*.ŁŚ|x.łś
*.ÀÞ|x.àþ
*×|a÷
AZaz|azAZ
*a*a*a*a*b|aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa
CASES
seed wildcard raw-bytes '?.mp3\0\xff.mp3'
seed wildcard cut-sequence '*.a\0x.\xc3'

# Stored lists.
seed stored_list crlf 'Default\r\nRock\r\nSpoken Word\r\n'
seed stored_list lone-breaks 'a\rb\nc\r\n\r\nd'
seed stored_list nul 'a\r\nb\0c\r\n'
seed stored_list empty-items '\r\n\r\n\r\n'
seed stored_list no-final-break 'only'

# Rows: format, separator, columns, the file and tag texts, custom info.
# Bytes: format code, separator (length and text), column count and columns
# (Unknown, 20, is followed by its caption), then length-prefixed texts.
n=0
for format in 0 1 2 3; do
    for info in 'plain' 'a,b "c"' $'line\r\nbreak' $'lone\rcr' $'lone\nlf' '<i>&amp;</i>'; do
        n=$((n + 1))
        len=$(printf '%s' "$info" | wc -c)
        {
            printf "\\x0$format\\x01;\\x06\\x04\\x09\\x14\\x03Odd\\x00\\x04\\x05"
            printf '\x0c/music/a.mp3\x041234\x0504:10\x03128\x0844.1 kHz\x06Stereo\x01-\x01'
            printf '\x04Song\x06Artist\x07Comment\x04Rock\x01'
            printf "\\x$(printf '%02x' "$len")%s" "$info"
            printf '\x07#FFFFFF'
        } >"$out/rows/case-$n"
    done
done
# Terminal text: controls of every kind, stray bytes and literal escapes.
seed terminal_text plain 'Mot\xc3\xb6rhead - Song.mp3'
seed terminal_text c0 'a\x1b[2Jb\tc\r\nd\x00e\x7f'
seed terminal_text c1 '\xc2\x9b31m \xc2\x85 \xc2\xa0'
seed terminal_text stray '\x9b\xff\xc0\xaf\xe2\x82'
seed terminal_text literal-escapes '\\x41 \\x \\\\x1b \\'

# Output names: the format number + 1, then the name.
n=0
for name in '\x01/music/list' '\x02/a/\xc3\xa9\xc3\xa9' '\x03/a/\xc3\xa9\xc3\xa9\xc3\xa9' \
    '\x00x.csv' '\x01/tmp' '\x04./dir.d/name' '\x02.hidden' '\x01/a/b.c/d' '\x03name.' '\x00' \
    '\x02/dev/stdout'; do
    n=$((n + 1))
    seed output_name "case-$n" "$name"
done

# Program paths of the desktop entry.
seed desktop_entry plain '/usr/bin/sonorix'
seed desktop_entry blanks '/opt/My Apps/sonorix'
seed desktop_entry quotes '/a"b`c$d\\e%%f%%%%g'
seed desktop_entry breaks '/x\ny\rz\tw\\n'
seed desktop_entry zero '/a\0b'
seed desktop_entry field-code '/a/%%f %%U'
seed desktop_entry latin1 '/\xfc/\xff'

# Stored values: an integer text and a 32-bit number, the profile name, then
# the profile (flags byte, font, four colours, headline, custom info, the two
# lists as count and texts, the checked bits), a format text, and last the
# "Checked" text. Texts are a length byte and the bytes.
text() { local LC_ALL=C; printf "\\x$(printf %02x ${#1})%s" "$1"; }
values() {
    local file=$1 integer=$2 number=$3 name=$4 flags=$5 format=$6 checked=$7
    {
        text "$integer"
        printf "$number"
        text "$name"
        printf "$flags"
        text Arial
        printf '\x00\x00\x80\xff\x00\x80\x40\x00\x00\xb8\x57\x00\xff\xff\xff\xff'
        text 'List created by Sonorix'
        text ''
        printf '\x02'; text mp3; text MP2
        printf '\x04'; text Songname; text Artist; text $'two\r\nitems'; text Time
        printf '\x00\x00\x00\x0b'
        text "$format"
        printf '%s' "$checked"
    } >"$out/stored_values/$file"
}
values hex-all-bits '$FFFFFFFF' '\x00\x00\x00\x01' Default '\x0d' 2 101
values minus-hex '-$1' '\x80\x00\x00\x00' Rock '\x01' '$3' 11110111100000000000
values blanks-plus ' +33023' '\x7f\xff\xff\xff' 'Spoken Word' '\x02' ' 7' 1x1
values decimal-limits '-2147483648' '\xff\xff\xff\xff' DefaultStyle '\x10' -1 0
values too-big '2147483648' '\x12\x34\x56\x78' 'Zürich' '\x0c' '$100000000' ''
values lower-hex '$abcdef' '\x00\x00\x00\x00' 'a$b' '\x07' 1 '9'
values bad-digits '12a' '\x00\x00\x00\x2a' 'x' '\x05' '$' '!'
values refused-askfor '0' '\x00\x00\x00\x00' AskFor '\x00' 0 1
values refused-case '0' '\x00\x00\x00\x00' aSKfOR '\x00' 0 1
values refused-break '0' '\x00\x00\x00\x00' $'a\r\nb' '\x00' 0 1

# sonorix-list command lines: the words of one line, each ended by a zero
# byte but the last.
words() { local name=$1; shift; printf '%s\0' "$@" | head -c -1 >"$out/list_options/$name"; }
words abbreviated --thr 8 --form txt a b
words bundled-short -qa -fcsv a b
words empty ''
words end-of-options -- -q -f
words every-option -s Default --new-style -f custom --separator \; -c artist\,songname --no-sort --save30 -a --custom Shelf -e mp3\,\,wav --no-subdirs --threads 16 src out
words full-run -q -f csv -c Songname\,Artist\,\,Time --sort --custom x music list
words help-with-more -h x y z
words info-only --list-columns
words list-styles --list-styles
words long-values --style=Jazz --format=html --columns=Filename --ext=mp3 --threads=0004 src -
words missing-short-value a b -s
words threads-missing a b --threads
words threads-negative --threads -1 a b
words threads-signed --threads +4 a b
words threads-text --threads four a b
words threads-too-many --threads 257 a b
words too-many a b c
words unknown-column -c songname\,Rating a b
words unknown-format -f pdf a b
words unknown-option --frobnicate a b
words value-on-flag --sort=yes a b
words version --version

# A scan cache body (the target gives it its header): where its tables
# start, made for "fuzz", "classic", "."; a tagged valid file and, on the
# same device, an invalid one; the tables: two entries, the texts "" and
# "Layer III", one folder.
zero_texts() { printf '\x00%.0s' $(seq "$1"); }
{
    printf '\x70\x00\x00\x00\x00\x00\x00\x00\x04fuzz\x07classic\x01.'
    printf '\x01\x02\x80\xfa\x01\x04\x02\x00\x18\x0b16000\x031\x00\x00\x02'
    zero_texts 14
    printf '\x09Beta'
    zero_texts 6
    printf '\xd0\x0f\x00\x00\x00\x00'
    printf '\x00\x05\x00\x00\x00\x00\x00'
    zero_texts 31
    printf '\x02\x02\x00\x09Layer III\x01\x07/music/'
} >"$out/cache_file/two-entries"

echo "seed files: $(find "$out" -type f | wc -l), $(du -sh "$out" | cut -f1)"
