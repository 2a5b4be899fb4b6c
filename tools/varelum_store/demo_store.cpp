// The contents of the demo store (see demo_store.h): products drawn from a small catalogue of
// a Brazilian grocery, with plausible barcodes, prices and stock, and four employees.
#include "demo_store.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "cell_values.h"

namespace varelum::store {

namespace {

struct Group {
    std::string_view code;
    std::string_view unit;
    std::vector<std::string_view> items;
    std::vector<std::string_view> sizes;
    int base_cents;  // price of the cheapest item of the group
};

const std::vector<Group>& groups() {
    static const std::vector<Group> kGroups = {
        {"01",
         "UN",
         {"Refrigerante cola", "Suco de uva integral", "Água mineral sem gás", "Cerveja pilsen",
          "Chá gelado de limão", "Bebida energética"},
         {"350 ml", "600 ml", "1 l", "1,5 l", "2 l"},
         299},
        {"02",
         "UN",
         {"Arroz tipo 1", "Feijão carioca", "Café torrado e moído", "Açúcar refinado",
          "Macarrão espaguete", "Óleo de soja", "Farinha de trigo", "Molho de tomate"},
         {"340 g", "500 g", "1 kg", "2 kg", "5 kg"},
         349},
        {"03",
         "UN",
         {"Detergente líquido", "Sabão em pó", "Amaciante de roupas", "Água sanitária",
          "Desinfetante lavanda", "Esponja multiuso"},
         {"500 ml", "1 l", "2 l", "800 g", "3 un"},
         229},
        {"04",
         "UN",
         {"Sabonete", "Creme dental", "Xampu", "Condicionador", "Desodorante aerossol",
          "Papel higiênico"},
         {"90 g", "180 g", "150 ml", "350 ml", "12 rolos"},
         189},
        {"05",
         "KG",
         {"Banana prata", "Maçã gala", "Tomate italiano", "Batata inglesa", "Cebola",
          "Laranja pera"},
         {"granel"},
         399},
        {"06",
         "UN",
         {"Pão de forma", "Bolo de fubá", "Biscoito água e sal", "Torrada integral",
          "Pão de queijo congelado"},
         {"200 g", "400 g", "500 g", "1 kg"},
         459},
        {"07",
         "UN",
         {"Leite integral", "Queijo muçarela fatiado", "Iogurte natural", "Manteiga com sal",
          "Presunto cozido", "Requeijão cremoso"},
         {"150 g", "200 g", "500 g", "1 l"},
         399},
        {"08",
         "UN",
         {"Pilha alcalina AA", "Lâmpada LED 9 W", "Fósforo longo", "Vela branca",
          "Saco de lixo 50 l", "Copo descartável"},
         {"1 un", "2 un", "4 un", "50 un"},
         259},
    };
    return kGroups;
}

constexpr std::array<std::string_view, 8> kBrands = {"Boa Safra",      "Serra Azul", "Vale Verde",
                                                     "Sol Nascente",   "Bom Gosto",  "Primavera",
                                                     "Estrela do Sul", "Da Fazenda"};

// SplitMix64: a small generator whose output is fixed by its seed on every platform (the
// standard distributions are not).
// The state lives with its owner, so that products can be made one at a time.
class DemoRandom {
  public:
    explicit DemoRandom(std::uint64_t& state) : state_(state) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::size_t below(std::size_t bound) { return static_cast<std::size_t>(next() % bound); }

  private:
    std::uint64_t& state_;
};

constexpr std::uint64_t kDemoSeed = 20240601;

std::string zero_padded(std::uint64_t value, std::size_t digits) {
    std::string text = std::to_string(value);
    text.insert(0, text.size() < digits ? digits - text.size() : 0, '0');
    return text;
}

std::string price_text(int cents) {
    return std::to_string(cents / 100) + "." +
           zero_padded(static_cast<std::uint64_t>(cents % 100), 2);
}

}  // namespace

std::string ean13(std::string_view twelve_digits) {
    int sum = 0;
    for (std::size_t i = 0; i < twelve_digits.size(); ++i) {
        sum += (twelve_digits[i] - '0') * (i % 2 == 0 ? 1 : 3);
    }
    return std::string(twelve_digits) + static_cast<char>('0' + (10 - sum % 10) % 10);
}

DemoProductSource::DemoProductSource(std::size_t count)
    : count_(count),
      code_digits_(std::max<std::size_t>(6, std::to_string(count).size())),
      first_day_(*parse_date("2023-01-02")),
      random_state_(kDemoSeed) {}

bool DemoProductSource::next(DemoProduct& product) {
    if (made_ == count_) {
        return false;
    }
    const std::size_t i = made_++;
    DemoRandom random(random_state_);
    const Group& group = groups()[random.below(groups().size())];
    product.code = zero_padded(i + 1, code_digits_);
    // "789" is Brazil's GS1 prefix. The nine digits after it are an affine map of the
    // product's number modulo 10^9 whose factor, 3^18, has no divisor in common with 10:
    // a one-to-one map, so no two products share a barcode.
    const std::uint64_t item = (static_cast<std::uint64_t>(i) * 387420489u + 104729u) % 1000000000u;
    product.barcode = ean13("789" + zero_padded(item, 9));
    product.group = std::string(group.code);
    product.description = std::string(group.items[random.below(group.items.size())]) + " " +
                          std::string(kBrands[random.below(kBrands.size())]) + " " +
                          std::string(group.sizes[random.below(group.sizes.size())]);
    // Most shelves hold a few items, some many; every 17th is sold out.
    const std::size_t draw = random.below(100);
    product.quantity = i % 17 == 5 ? 0
                       : draw < 75 ? 1 + static_cast<int>(random.below(12))
                                   : 13 + static_cast<int>(random.below(60));
    const int cents = group.base_cents + static_cast<int>(random.below(40)) * 50;
    const bool active = i % 29 != 13;
    const std::int32_t registered = first_day_ + static_cast<std::int32_t>(random.below(700));
    product.row = {product.code,
                   product.barcode,
                   product.group,
                   product.description,
                   std::string(group.unit),
                   price_text(cents),
                   std::to_string(product.quantity),
                   active ? "true" : "false",
                   format_date(registered)};
    return true;
}

std::vector<DemoProduct> demo_products(std::size_t count) {
    DemoProductSource source(count);
    std::vector<DemoProduct> products;
    products.reserve(count);
    DemoProduct product;
    while (source.next(product)) {
        products.push_back(product);
    }
    return products;
}

const std::vector<DemoEmployee>& demo_employees() {
    static const std::vector<DemoEmployee> kEmployees = [] {
        struct Person {
            const char* name;
            const char* password;
            const char* role;
        };
        const Person people[] = {
            {"Maria Aparecida Souza", "MARIA123", "Gerente"},
            {"João Pedro Oliveira", "JOAO456", "Estoquista"},
            {"Ana Beatriz Lima", "ANA789", "Operadora de caixa"},
            {"Carlos Eduardo Santos", "CARLOS2024", "Estoquista"},
        };
        std::vector<DemoEmployee> employees;
        int number = 1;
        for (const Person& person : people) {
            employees.push_back(
                {person.name,
                 person.password,
                 {std::to_string(number++), person.name, person.password, person.role, "true"}});
        }
        return employees;
    }();
    return kEmployees;
}

}  // namespace varelum::store
