namespace qb::render {}
