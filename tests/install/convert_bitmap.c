/* A program of someone else's, built against an installed velmora with
 * pkg-config or CMake: converts a bitmap with ConvertBMPtoJPG and checks that
 * the library it runs with is the version its header says.
 *
 * usage: convert_bitmap INPUT.bmp OUTPUT.jpg VERSION */
#include <velmora.h>

#include <stdio.h>
#include <string.h>

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: convert_bitmap INPUT.bmp OUTPUT.jpg VERSION\n");
        return 2;
    }
    if (strcmp(VELMORA_VERSION, argv[3]) != 0 || strcmp(VelmoraVersion(), argv[3]) != 0) {
        fprintf(stderr, "convert_bitmap: header %s, library %s, expected %s\n", VELMORA_VERSION,
                VelmoraVersion(), argv[3]);
        return 1;
    }
    const int status = ConvertBMPtoJPG(argv[1], argv[2], -1, 100, -1);
    if (status != VELMORA_OK) {
        fprintf(stderr, "convert_bitmap: ConvertBMPtoJPG returned %d\n", status);
        return 1;
    }
    FILE* jpeg = fopen(argv[2], "rb");
    unsigned char start[3] = {0, 0, 0};
    const size_t got = jpeg ? fread(start, 1, 3, jpeg) : 0;
    if (jpeg)
        fclose(jpeg);
    if (got != 3 || start[0] != 0xFF || start[1] != 0xD8 || start[2] != 0xFF) {
        fprintf(stderr, "convert_bitmap: %s is not a JPEG file\n", argv[2]);
        return 1;
    }
    printf("convert_bitmap: velmora %s converted %s\n", VelmoraVersion(), argv[1]);
    return 0;
}
