update accounts a join plans p on p.plan_id = a.plan_id set a.monthly_fee = p.base_fee * 1.05, a.updated_at = now() where p.tier = 'gold' and a.locked = 0
