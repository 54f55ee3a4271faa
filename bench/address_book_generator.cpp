#include "bench/address_book_generator.h"

#include <random>
#include <set>
#include <string>

namespace {

const char* const kFirstNames[] = {"James",
                                   "Mary",
                                   "John",
                                   "Patricia",
                                   "Robert",
                                   "Jennifer",
                                   "Michael",
                                   "Linda",
                                   "David",
                                   "Elizabeth",
                                   "William",
                                   "Barbara",
                                   "Richard",
                                   "Susan",
                                   "Joseph",
                                   "Jessica",
                                   "Thomas",
                                   "Sarah",
                                   "Charles",
                                   "Karen",
                                   "Ren\xE9"
                                   "e",
                                   "Jos\xE9",
                                   "Zo\xEB",
                                   "Andr\xE9",
                                   "Ana",
                                   "Mohammed",
                                   "Priya",
                                   "Wei",
                                   "Fatima",
                                   "Olga",
                                   "Sean",
                                   "Aoife",
                                   "Lars",
                                   "Ingrid",
                                   "Hiroshi",
                                   "Amara",
                                   "Chidi",
                                   "Lucia",
                                   "Mateo",
                                   "Sofia",
                                   "Noah",
                                   "Emma",
                                   "Liam",
                                   "Olivia",
                                   "Ava",
                                   "Isabella",
                                   "Ethan",
                                   "Mia",
                                   "Lucas",
                                   "Chlo\xE9",
                                   "No\xEBl",
                                   "Fran\xE7ois",
                                   "Bj\xF6rn",
                                   "J\xFCrgen",
                                   "S\xF8ren"};

const char* const kLastNames[] = {"Smith",
                                  "Johnson",
                                  "Williams",
                                  "Brown",
                                  "Jones",
                                  "Garcia",
                                  "Miller",
                                  "Davis",
                                  "Rodriguez",
                                  "Martinez",
                                  "Hernandez",
                                  "Lopez",
                                  "Gonzalez",
                                  "Wilson",
                                  "Anderson",
                                  "Thomas",
                                  "Taylor",
                                  "Moore",
                                  "Jackson",
                                  "Martin",
                                  "Lee",
                                  "Perez",
                                  "Thompson",
                                  "White",
                                  "Harris",
                                  "Sanchez",
                                  "Clark",
                                  "Ramirez",
                                  "Lewis",
                                  "Robinson",
                                  "Walker",
                                  "Young",
                                  "Allen",
                                  "King",
                                  "Wright",
                                  "Scott",
                                  "Torres",
                                  "Nguyen",
                                  "Hill",
                                  "Flores",
                                  "Green",
                                  "Adams",
                                  "Nelson",
                                  "Baker",
                                  "Hall",
                                  "Rivera",
                                  "Campbell",
                                  "Mitchell",
                                  "Carter",
                                  "Roberts",
                                  "M\xFCller",
                                  "Schr\xF6"
                                  "der",
                                  "Ga\xEBl",
                                  "\xD6zt\xFCrk",
                                  "\xC5str\xF6m",
                                  "Dubois",
                                  "Moreau",
                                  "Rossi",
                                  "Russo",
                                  "Kowalski",
                                  "Nowak",
                                  "Novak",
                                  "Horvat",
                                  "Papadopoulos",
                                  "Yilmaz",
                                  "Kim",
                                  "Park",
                                  "Wang",
                                  "Li",
                                  "Zhang",
                                  "Chen",
                                  "Singh",
                                  "Kumar",
                                  "Patel",
                                  "Okafor",
                                  "Mensah",
                                  "O'Brien",
                                  "Murphy",
                                  "Kelly"};

const char* const kStreets[] = {"High Street",
                                "Station Road",
                                "Church Lane",
                                "Mill Road",
                                "Victoria Avenue",
                                "Park Crescent",
                                "Rue de la Paix",
                                "Hauptstra\xDF"
                                "e",
                                "Via Roma",
                                "Elm Street",
                                "Oak Drive",
                                "Maple Avenue",
                                "Kings Road",
                                "Queens Way",
                                "Harbour View"};

const char* const kTowns[] = {"Springfield", "Riverside", "Fairview", "Greenville",
                              "Bristol",     "Leeds",     "Lyon",     "M\xFCnchen",
                              "Z\xFCrich",   "Krak\xF3w", "Dublin",   "Mumbai"};

template <typename T, size_t N>
const char* pick(std::mt19937& random, const T (&items)[N]) {
    return items[random() % N];
}

const char* const kSurnameStarts[] = {
    "Ash",   "Black", "Brad",  "Brook", "Cald", "Cole", "Crans", "Dun",  "East",
    "Fair",  "Fern",  "Gold",  "Hale",  "Hart", "Holl", "Kings", "Lang", "Lind",
    "Marsh", "Mid",   "North", "Oak",   "Pem",  "Red",  "Rich",  "Ros",  "Shel",
    "Stan",  "Stock", "Thorn", "Wake",  "West", "Whit", "Wood",  "Wy",   "Bj\xF6rk"};
const char* const kSurnameEnds[] = {
    "ford", "wood",  "ley",    "ton",   "well", "field", "by",    "combe", "ham",  "hurst",
    "more", "stead", "bridge", "worth", "dale", "shaw",  "brook", "man",   "sson", "wick",
    "er",   "ing",   "s",      "\xE9",  "mont", "berg",  "stein", "ski",   "ova",  "escu"};

// Half the people carry one of the common last names, a few of them very common;
// the rest one of about a thousand rarer ones.
std::string pickLastName(std::mt19937& random) {
    if (random() % 2) {
        constexpr size_t count = sizeof kLastNames / sizeof kLastNames[0];
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        double u = unit(random);
        return kLastNames[static_cast<size_t>(u * u * count) % count];
    }
    return std::string(pick(random, kSurnameStarts)) + pick(random, kSurnameEnds);
}

}  // namespace

std::vector<Entry> generateAddressBook(size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<Entry> book;
    book.reserve(count);
    std::set<std::string> names;  // apart from the deliberate duplicates, people differ
    while (book.size() < count) {
        if (book.size() > 20 && random() % 100 < 5) {
            book.push_back(book[random() % book.size()]);  // an exact duplicate
            continue;
        }
        Entry entry;
        entry.firstName = pick(random, kFirstNames);
        entry.lastName = pickLastName(random);
        // Middle names keep most people with the same first and last name apart.
        switch (random() % 3) {
            case 0:
                break;
            case 1:
                entry.middleName = std::string(1, static_cast<char>('A' + random() % 26)) + ".";
                break;
            default:
                entry.middleName = pick(random, kFirstNames);
                if (random() % 4 == 0)
                    entry.middleName += std::string(" ") + pick(random, kFirstNames);
        }
        if (!names.insert(entry.firstName + '\n' + entry.middleName + '\n' + entry.lastName).second)
            continue;
        entry.address = std::to_string(1 + random() % 400) + " " + pick(random, kStreets) + "\r\n" +
                        pick(random, kTowns);
        if (random() % 2) entry.address += "\r\n" + std::to_string(10000 + random() % 90000);
        entry.sex = random() % 2 ? "Male" : "Female";
        book.push_back(std::move(entry));
    }
    return book;
}
