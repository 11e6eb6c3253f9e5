/* libfido2 (Debian's libfido2-dev) as the host of quillmark-simkey over UDP.
 *
 * Usage: libfido2_host PORT REPLYPORT PIN [--credentials]
 *
 * The io functions carry libfido2's HID reports as datagrams: the report id
 * byte it puts in front of each 64-byte packet stays here. Checks GetInfo,
 * the PIN retries, makeCredential with the PIN and fido_cred_verify. With
 * --credentials it makes discoverable credentials instead and lists the
 * store with fido_credman, as one JSON line starting with {"listing":. Exit 0
 * when every check passed, 1 otherwise.
 */
#include <arpa/inet.h>
#include <fido.h>
#include <fido/credman.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#define PACKET 64

struct udp_link {
  int fd;
  struct sockaddr_in authenticator;
};

static int port;
static int reply_port;
static int failures;

static void check(const char* name, int ok, const char* detail) {
  printf("%s  %s%s%s\n", ok ? "ok  " : "FAIL", name, detail ? ": " : "", detail ? detail : "");
  fflush(stdout);
  if (!ok) ++failures;
}

static void* udp_open(const char* path) {
  (void)path;
  struct udp_link* link = calloc(1, sizeof *link);
  if (link == NULL) return NULL;
  link->fd = socket(AF_INET, SOCK_DGRAM, 0);
  struct sockaddr_in local = {0};
  local.sin_family = AF_INET;
  local.sin_port = htons((uint16_t)reply_port);
  local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (link->fd < 0 || bind(link->fd, (struct sockaddr*)&local, sizeof local) != 0) {
    if (link->fd >= 0) close(link->fd);
    free(link);
    return NULL;
  }
  link->authenticator.sin_family = AF_INET;
  link->authenticator.sin_port = htons((uint16_t)port);
  link->authenticator.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return link;
}

static void udp_close(void* handle) {
  struct udp_link* link = handle;
  close(link->fd);
  free(link);
}

/* libfido2 asks for one report without the report id; -1 on time-out. */
static int udp_read(void* handle, unsigned char* buf, size_t len, int ms) {
  struct udp_link* link = handle;
  struct pollfd wait = {link->fd, POLLIN, 0};
  /* A host that waits for ever is a test that hangs: cap every wait. */
  if (ms < 0 || ms > 5000) ms = 5000;
  if (poll(&wait, 1, ms) <= 0) return -1;
  unsigned char datagram[PACKET + 1];
  ssize_t got = recv(link->fd, datagram, sizeof datagram, 0);
  if (got != PACKET || len < PACKET) return -1;
  memcpy(buf, datagram, PACKET);
  return PACKET;
}

/* libfido2 writes the report id byte, then the packet. */
static int udp_write(void* handle, const unsigned char* buf, size_t len) {
  struct udp_link* link = handle;
  if (len != PACKET + 1) return -1;
  ssize_t sent = sendto(link->fd, buf + 1, PACKET, 0, (struct sockaddr*)&link->authenticator,
                        sizeof link->authenticator);
  return sent == PACKET ? (int)len : -1;
}

static int contains(char** list, size_t count, const char* wanted) {
  for (size_t i = 0; i < count; ++i) {
    if (strcmp(list[i], wanted) == 0) return 1;
  }
  return 0;
}

static void check_info(fido_dev_t* dev) {
  fido_cbor_info_t* info = fido_cbor_info_new();
  int r = fido_dev_get_cbor_info(dev, info);
  check("fido_dev_get_cbor_info", r == FIDO_OK, fido_strerr(r));
  if (r == FIDO_OK) {
    char** versions = fido_cbor_info_versions_ptr(info);
    size_t count = fido_cbor_info_versions_len(info);
    check("versions U2F_V2, FIDO_2_0, FIDO_2_1",
          count == 3 && contains(versions, count, "U2F_V2") &&
              contains(versions, count, "FIDO_2_0") && contains(versions, count, "FIDO_2_1"),
          NULL);
    check("aaguid QM-SIMKEY-AAGUID",
          fido_cbor_info_aaguid_len(info) == 16 &&
              memcmp(fido_cbor_info_aaguid_ptr(info), "QM-SIMKEY-AAGUID", 16) == 0,
          NULL);
    check("maxMsgSize 1200", fido_cbor_info_maxmsgsiz(info) == 1200, NULL);
    const uint8_t* protocols = fido_cbor_info_protocols_ptr(info);
    check("pinUvAuthProtocols 2, 1",
          fido_cbor_info_protocols_len(info) == 2 && protocols[0] == 2 && protocols[1] == 1, NULL);
    char** names = fido_cbor_info_options_name_ptr(info);
    const bool* values = fido_cbor_info_options_value_ptr(info);
    int client_pin = -1;
    for (size_t i = 0; i < fido_cbor_info_options_len(info); ++i) {
      if (strcmp(names[i], "clientPin") == 0) client_pin = values[i];
    }
    check("option clientPin true", client_pin == 1, NULL);
    check("two algorithms", fido_cbor_info_algorithm_count(info) == 2, NULL);
  }
  fido_cbor_info_free(&info);
}

static void check_make_cred(fido_dev_t* dev, const char* pin) {
  static const unsigned char client_data_hash[32] = "quillmark libfido2 host test....";
  static const unsigned char user_id[8] = "user-id1";
  fido_cred_t* cred = fido_cred_new();
  fido_cred_set_type(cred, COSE_ES256);
  fido_cred_set_clientdata_hash(cred, client_data_hash, sizeof client_data_hash);
  fido_cred_set_rp(cred, "example.com", "Example");
  fido_cred_set_user(cred, user_id, sizeof user_id, "user", "User", NULL);
  int r = fido_dev_make_cred(dev, cred, pin);
  check("fido_dev_make_cred with the PIN", r == FIDO_OK, fido_strerr(r));
  if (r == FIDO_OK) {
    check("format packed", strcmp(fido_cred_fmt(cred), "packed") == 0, fido_cred_fmt(cred));
    r = fido_cred_verify(cred);
    check("fido_cred_verify", r == FIDO_OK, fido_strerr(r));
    check("x5c present", fido_cred_x5c_len(cred) > 0, NULL);
    check("user verified flag", (fido_cred_flags(cred) & 0x04) != 0, NULL);
  }
  fido_cred_free(&cred);

  /* A wrong PIN costs a retry. */
  int before = -1;
  int after = -1;
  fido_dev_get_retry_count(dev, &before);
  cred = fido_cred_new();
  fido_cred_set_type(cred, COSE_ES256);
  fido_cred_set_clientdata_hash(cred, client_data_hash, sizeof client_data_hash);
  fido_cred_set_rp(cred, "example.com", "Example");
  fido_cred_set_user(cred, user_id, sizeof user_id, "user", "User", NULL);
  r = fido_dev_make_cred(dev, cred, "999999");
  check("a wrong PIN is FIDO_ERR_PIN_INVALID", r == FIDO_ERR_PIN_INVALID, fido_strerr(r));
  fido_dev_get_retry_count(dev, &after);
  char detail[64];
  snprintf(detail, sizeof detail, "%d then %d", before, after);
  check("the wrong PIN cost a retry", after == before - 1, detail);
  fido_cred_free(&cred);
}

/* Names in the test's store are plain ASCII; quotes and backslashes are escaped. */
static void print_string(const char* text) {
  if (text == NULL) {
    printf("null");
    return;
  }
  putchar('"');
  for (; *text; ++text) {
    if (*text == '"' || *text == '\\') putchar('\\');
    putchar(*text);
  }
  putchar('"');
}

static void print_hex(const unsigned char* bytes, size_t length) {
  putchar('"');
  for (size_t i = 0; i < length; ++i) printf("%02x", bytes[i]);
  putchar('"');
}

static void make_rk_credentials(fido_dev_t* dev, const char* pin) {
  static const struct {
    const char *rp_id, *rp_name, *user_id, *name, *display;
    int prot;
  } users[] = {
      {"example.com", "Example", "dave-id", "dave", "Dave Example", FIDO_CRED_PROT_UV_OPTIONAL},
      {"example.com", "Example", "erin-id", "erin", NULL, FIDO_CRED_PROT_UV_REQUIRED},
      {"third.example", NULL, "frank-id", "frank", "Frank", FIDO_CRED_PROT_UV_OPTIONAL_WITH_ID},
  };
  static const unsigned char client_data_hash[32] = "quillmark libfido2 rk credential";
  for (size_t i = 0; i < sizeof users / sizeof users[0]; ++i) {
    fido_cred_t* cred = fido_cred_new();
    fido_cred_set_type(cred, COSE_ES256);
    fido_cred_set_clientdata_hash(cred, client_data_hash, sizeof client_data_hash);
    fido_cred_set_rp(cred, users[i].rp_id, users[i].rp_name);
    fido_cred_set_user(cred, (const unsigned char*)users[i].user_id, strlen(users[i].user_id),
                       users[i].name, users[i].display, NULL);
    fido_cred_set_rk(cred, FIDO_OPT_TRUE);
    fido_cred_set_prot(cred, users[i].prot);
    const int r = fido_dev_make_cred(dev, cred, pin);
    check("fido_dev_make_cred rk", r == FIDO_OK, fido_strerr(r));
    fido_cred_free(&cred);
  }
}

static void list_credentials(fido_dev_t* dev, const char* pin) {
  fido_credman_metadata_t* metadata = fido_credman_metadata_new();
  fido_credman_rp_t* rps = fido_credman_rp_new();
  int r = fido_credman_get_dev_metadata(dev, metadata, pin);
  check("fido_credman_get_dev_metadata", r == FIDO_OK, fido_strerr(r));
  r = fido_credman_get_dev_rp(dev, rps, pin);
  check("fido_credman_get_dev_rp", r == FIDO_OK, fido_strerr(r));
  printf(
      "{\"listing\": \"credentials\", \"existing\": %llu, \"remaining\": %llu, "
      "\"credentials\": [",
      (unsigned long long)fido_credman_rk_existing(metadata),
      (unsigned long long)fido_credman_rk_remaining(metadata));
  const char* separator = "";
  for (size_t i = 0; i < fido_credman_rp_count(rps); ++i) {
    fido_credman_rk_t* rks = fido_credman_rk_new();
    const char* rp_id = fido_credman_rp_id(rps, i);
    if (fido_credman_get_dev_rk(dev, rp_id, rks, pin) == FIDO_OK) {
      for (size_t j = 0; j < fido_credman_rk_count(rks); ++j) {
        const fido_cred_t* cred = fido_credman_rk(rks, j);
        printf("%s{\"rpId\": ", separator);
        print_string(rp_id);
        printf(", \"rpName\": ");
        print_string(fido_credman_rp_name(rps, i));
        printf(", \"userName\": ");
        print_string(fido_cred_user_name(cred));
        printf(", \"displayName\": ");
        print_string(fido_cred_display_name(cred));
        printf(", \"userId\": ");
        print_hex(fido_cred_user_id_ptr(cred), fido_cred_user_id_len(cred));
        printf(", \"credentialId\": ");
        print_hex(fido_cred_id_ptr(cred), fido_cred_id_len(cred));
        printf(", \"credProtect\": %d, \"largeBlobKey\": %s}", fido_cred_prot(cred),
               fido_cred_largeblob_key_len(cred) == 32 ? "true" : "false");
        separator = ", ";
      }
    }
    fido_credman_rk_free(&rks);
  }
  printf("]}\n");
  fflush(stdout);
  fido_credman_rp_free(&rps);
  fido_credman_metadata_free(&metadata);
}

int main(int argc, char** argv) {
  const int credentials = argc == 5 && strcmp(argv[4], "--credentials") == 0;
  if (argc != 4 && !credentials) {
    fprintf(stderr, "usage: libfido2_host PORT REPLYPORT PIN [--credentials]\n");
    return 2;
  }
  port = atoi(argv[1]);
  reply_port = atoi(argv[2]);
  fido_init(0);
  fido_dev_t* dev = fido_dev_new();
  const fido_dev_io_t io = {udp_open, udp_close, udp_read, udp_write};
  check("fido_dev_set_io_functions", fido_dev_set_io_functions(dev, &io) == FIDO_OK, NULL);
  int r = fido_dev_open(dev, "udp:127.0.0.1");
  check("fido_dev_open (CTAPHID INIT)", r == FIDO_OK, fido_strerr(r));
  if (r == FIDO_OK && credentials) {
    make_rk_credentials(dev, argv[3]);
    list_credentials(dev, argv[3]);
    fido_dev_close(dev);
  } else if (r == FIDO_OK) {
    check("a FIDO2 device", fido_dev_is_fido2(dev), NULL);
    int retries = -1;
    r = fido_dev_get_retry_count(dev, &retries);
    char detail[64];
    snprintf(detail, sizeof detail, "%s, %d", fido_strerr(r), retries);
    check("fido_dev_get_retry_count is 8", r == FIDO_OK && retries == 8, detail);
    check_info(dev);
    check_make_cred(dev, argv[3]);
    fido_dev_close(dev);
  }
  fido_dev_free(&dev);
  printf(failures ? "%d check(s) failed\n" : "all checks passed\n", failures);
  return failures ? 1 : 0;
}
