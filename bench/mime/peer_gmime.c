/* peer_gmime: the peer side of the mail format benchmark.
 *
 *   peer_gmime [--repeat N] PATH...
 *
 * Loads every file named (a directory stands for the files in it) into memory, then N times
 * parses each one with GMime 3 and decodes the content of every leaf part into a memory
 * stream, the same work the Pelmora benchmark does per message. Prints one line:
 *   files=F bytes=B parts=P decoded=D seconds=S mbps=M
 * where seconds is the median CPU time of the repetitions and mbps input megabytes (10^6
 * bytes) per CPU second, so that other work on a shared machine does not distort it.
 * Build: cc -O2 peer_gmime.c $(pkg-config --cflags --libs gmime-3.0)
 */
#include <dirent.h>
#include <gmime/gmime.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

typedef struct {
    char* data;
    size_t size;
} input_file;

typedef struct {
    input_file* items;
    size_t count;
    size_t capacity;
} input_list;

typedef struct {
    size_t parts;
    size_t decoded;
} walk_totals;

static int load_file(const char* path, input_list* list) {
    FILE* file = fopen(path, "rb");
    if (!file) {
        fprintf(stderr, "peer_gmime: cannot open %s\n", path);
        return 0;
    }
    fseek(file, 0, SEEK_END);
    long size = ftell(file);
    fseek(file, 0, SEEK_SET);
    char* data = malloc(size > 0 ? (size_t)size : 1);
    if (!data || (size > 0 && fread(data, 1, (size_t)size, file) != (size_t)size)) {
        fprintf(stderr, "peer_gmime: cannot read %s\n", path);
        fclose(file);
        free(data);
        return 0;
    }
    fclose(file);
    if (list->count == list->capacity) {
        list->capacity = list->capacity ? list->capacity * 2 : 64;
        list->items = realloc(list->items, list->capacity * sizeof *list->items);
    }
    list->items[list->count].data = data;
    list->items[list->count].size = (size_t)size;
    list->count++;
    return 1;
}

static int compare_names(const void* a, const void* b) {
    return strcmp(*(char* const*)a, *(char* const*)b);
}

static int load_path(const char* path, input_list* list) {
    DIR* dir = opendir(path);
    if (!dir)
        return load_file(path, list);
    char** names = NULL;
    size_t count = 0, capacity = 0;
    struct dirent* entry;
    while ((entry = readdir(dir)) != NULL) {
        if (entry->d_name[0] == '.')
            continue;
        if (count == capacity) {
            capacity = capacity ? capacity * 2 : 256;
            names = realloc(names, capacity * sizeof *names);
        }
        size_t length = strlen(path) + strlen(entry->d_name) + 2;
        names[count] = malloc(length);
        snprintf(names[count], length, "%s/%s", path, entry->d_name);
        count++;
    }
    closedir(dir);
    qsort(names, count, sizeof *names, compare_names);
    int ok = 1;
    for (size_t i = 0; i < count; i++) {
        ok = ok && load_file(names[i], list);
        free(names[i]);
    }
    free(names);
    return ok;
}

static void decode_part(GMimeObject* parent, GMimeObject* part, gpointer user_data) {
    (void)parent;
    walk_totals* totals = user_data;
    if (!GMIME_IS_PART(part))
        return;
    GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(part));
    totals->parts++;
    if (!content)
        return;
    GMimeStream* out = g_mime_stream_mem_new();
    gint64 written = g_mime_data_wrapper_write_to_stream(content, out);
    if (written > 0)
        totals->decoded += (size_t)written;
    g_object_unref(out);
}

static int compare_doubles(const void* a, const void* b) {
    double x = *(const double*)a, y = *(const double*)b;
    return (x > y) - (x < y);
}

static double cpu_seconds(void) {
    struct timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

int main(int argc, char** argv) {
    int repeat = 3;
    input_list list = {0};
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
            long value = strtol(argv[++i], NULL, 10);
            repeat = value < 1 ? 1 : value > 1000 ? 1000 : (int)value;
        } else if (!load_path(argv[i], &list)) {
            return 1;
        }
    }
    if (list.count == 0) {
        fprintf(stderr, "usage: peer_gmime [--repeat N] PATH...\n");
        return 2;
    }
    g_mime_init();
    size_t bytes = 0;
    for (size_t i = 0; i < list.count; i++)
        bytes += list.items[i].size;

    double* times = malloc((size_t)repeat * sizeof *times);
    walk_totals totals = {0, 0};
    for (int r = 0; r < repeat; r++) {
        walk_totals run = {0, 0};
        double start = cpu_seconds();
        for (size_t i = 0; i < list.count; i++) {
            /* The stream reads the loaded bytes in place; nothing is copied up front. */
            GByteArray* array =
                g_byte_array_new_take((guint8*)list.items[i].data, list.items[i].size);
            GMimeStream* stream = g_mime_stream_mem_new_with_byte_array(array);
            g_mime_stream_mem_set_owner(GMIME_STREAM_MEM(stream), FALSE);
            GMimeParser* parser = g_mime_parser_new_with_stream(stream);
            GMimeMessage* message = g_mime_parser_construct_message(parser, NULL);
            if (message) {
                /* Visits the top-level part and every part below it. */
                g_mime_message_foreach(message, decode_part, &run);
                g_object_unref(message);
            }
            g_object_unref(parser);
            g_object_unref(stream);
            list.items[i].data = (char*)g_byte_array_free(array, FALSE);
        }
        times[r] = cpu_seconds() - start;
        totals = run;
    }
    qsort(times, (size_t)repeat, sizeof *times, compare_doubles);
    double median =
        repeat % 2 ? times[repeat / 2] : (times[repeat / 2 - 1] + times[repeat / 2]) / 2;
    free(times);
    printf("files=%zu bytes=%zu parts=%zu decoded=%zu seconds=%.4f mbps=%.1f\n", list.count, bytes,
           totals.parts, totals.decoded, median, (double)bytes / 1e6 / median);
    for (size_t i = 0; i < list.count; i++)
        free(list.items[i].data);
    free(list.items);
    g_mime_shutdown();
    return 0;
}
